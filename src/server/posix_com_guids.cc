// What the platform's COM gives where there is none: the identities of
// IUnknown and ISupportErrorInfo and GUID comparison.
#include <cstring>

#include "q7kcomm/com.h"

namespace q7k {

bool operator==(const GUID& a, const GUID& b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

// The well-known COM identifiers.
const GUID IID_IUnknown = {0x00000000,
                           0x0000,
                           0x0000,
                           {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const GUID IID_ISupportErrorInfo = {
    0xDF0B3D60,
    0x548F,
    0x101B,
    {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

}  // namespace q7k
