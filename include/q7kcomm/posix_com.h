// q7kcomm/posix_com.h: the COM types where the platform has none (included
// by q7kcomm/com.h; not meant to be included on its own).
//
// The same names, layouts and rules as the platform's own: a host written
// against the original component compiles with few changes.
#ifndef Q7KCOMM_POSIX_COM_H_
#define Q7KCOMM_POSIX_COM_H_

#include <cstdint>

#include "q7kcomm/export.h"

// The interfaces' calling convention: the platform's default here.
#define Q7K_STDCALL

namespace q7k {

using HRESULT = int32_t;

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);

inline bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline bool FAILED(HRESULT hr) { return hr < 0; }

// ---------------------------------------------------------------------------
// BSTR: a length-prefixed UTF-16 string. The 32-bit byte length sits in front
// of the first character and a zero character follows the last. A null BSTR is
// a valid empty string. Strings the component returns are new and belong to
// the caller (free them with SysFreeString); strings passed in stay the
// caller's.

using BSTR = char16_t*;

// REQUIRES: text is null or zero-terminated. Returns null for a null text or
// when memory runs out.
Q7K_API BSTR SysAllocString(const char16_t* text);
// Copies length characters of text (text may be null: zero-filled).
Q7K_API BSTR SysAllocStringLen(const char16_t* text, uint32_t length);
Q7K_API void SysFreeString(BSTR s);
// Number of characters, 0 for null.
Q7K_API uint32_t SysStringLen(BSTR s);

// ---------------------------------------------------------------------------
// GUID: 16 bytes, compared bytewise.

struct GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
};

Q7K_API bool operator==(const GUID& a, const GUID& b);
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }

extern Q7K_API const GUID IID_IUnknown;
extern Q7K_API const GUID IID_ISupportErrorInfo;

// ---------------------------------------------------------------------------
// Interfaces.

class IUnknown {
 public:
  // REQUIRES: ppv != nullptr. S_OK and an added reference, or E_NOINTERFACE
  // with *ppv = nullptr.
  virtual HRESULT QueryInterface(const GUID& iid, void** ppv) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;
};

class ISupportErrorInfo : public IUnknown {
 public:
  // S_OK when methods of iid publish error information, else S_FALSE.
  virtual HRESULT InterfaceSupportsErrorInfo(const GUID& iid) = 0;

 protected:
  ~ISupportErrorInfo() = default;
};

}  // namespace q7k

#endif  // Q7KCOMM_POSIX_COM_H_
