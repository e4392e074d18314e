#include "console_text.h"

namespace q7k::tool {

// A terminal takes its encoding from the locale, which is UTF-8 wherever
// the texts are not plain ASCII anyway.
ConsoleText::ConsoleText() = default;
ConsoleText::~ConsoleText() = default;

}  // namespace q7k::tool
