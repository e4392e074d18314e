// The fixed identifiers of the component class, its interfaces and its type
// library. They never change: hosts compare against them.
#include <cstring>

#include "q7kcomm/com.h"

namespace q7k {

bool operator==(const GUID& a, const GUID& b) {
  return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
         std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

const GUID CLSID_Q7kComm = {0x6B1F2A40,
                            0x3C7D,
                            0x4E21,
                            {0x9A, 0x55, 0x0E, 0x73, 0x30, 0x0C, 0x15, 0x01}};
const GUID IID_IQ7kComm = {0x6B1F2A41,
                           0x3C7D,
                           0x4E21,
                           {0x9A, 0x55, 0x0E, 0x73, 0x30, 0x0C, 0x15, 0x01}};
const GUID IID_IQ7kCalStatus = {
    0x6B1F2A42,
    0x3C7D,
    0x4E21,
    {0x9A, 0x55, 0x0E, 0x73, 0x30, 0x0C, 0x15, 0x01}};
const GUID IID_IQ7kEeprom = {0x6B1F2A43,
                             0x3C7D,
                             0x4E21,
                             {0x9A, 0x55, 0x0E, 0x73, 0x30, 0x0C, 0x15, 0x01}};
const GUID IID_IQ7kLog = {0x6B1F2A44,
                          0x3C7D,
                          0x4E21,
                          {0x9A, 0x55, 0x0E, 0x73, 0x30, 0x0C, 0x15, 0x01}};
const GUID LIBID_Q7KCOMMLib = {
    0x6B1F2A4F,
    0x3C7D,
    0x4E21,
    {0x9A, 0x55, 0x0E, 0x73, 0x30, 0x0C, 0x15, 0x01}};
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
