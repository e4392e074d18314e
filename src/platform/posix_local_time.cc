#include "platform/local_time.h"

namespace q7k {

std::tm ToLocalTime(std::time_t moment) {
  std::tm local{};
  localtime_r(&moment, &local);
  return local;
}

}  // namespace q7k
