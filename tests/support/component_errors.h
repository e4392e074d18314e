// The component's error record as a host reads it back.
#ifndef Q7K_TESTS_SUPPORT_COMPONENT_ERRORS_H_
#define Q7K_TESTS_SUPPORT_COMPONENT_ERRORS_H_

#include <string>

#include "q7kcomm/q7kcomm.h"

namespace q7k {

inline short ErrorCode(IQ7kComm* comm) {
  short code = 0;
  comm->get_ErrorCode(&code);
  return code;
}

inline std::string ErrorText(IQ7kComm* comm) {
  Bstr text;
  comm->get_ErrorMsg(text.out());
  return text.utf8();
}

}  // namespace q7k

#endif  // Q7K_TESTS_SUPPORT_COMPONENT_ERRORS_H_
