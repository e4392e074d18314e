#include "support/test_platform.h"

namespace q7k {

bool RunningUnderWine() { return false; }
bool CanRemoveCurrentDirectory() { return true; }

bool FileNamesIgnoreCase() { return false; }

}  // namespace q7k
