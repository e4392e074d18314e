// q7kcomm/com.h: the COM calling conventions of the component, ported.
//
// Host applications were written against a COM component; this header keeps
// its conventions (HRESULT results, counted UTF-16 strings, interface ids,
// reference counting, per-thread error information) so a host ports with few
// changes.
//
// Thread safety: BSTR functions, GUIDs and CreateInstance are safe from any
// thread. Error information is per thread. A component object is meant for
// one thread at a time; calls from several threads are serialised per object
// (interfaces.h).
#ifndef Q7KCOMM_COM_H_
#define Q7KCOMM_COM_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "q7kcomm/export.h"

// HRESULT, BSTR and its functions, GUID, IUnknown, ISupportErrorInfo,
// IID_IUnknown, IID_ISupportErrorInfo and Q7K_STDCALL: the platform's own
// where it has COM, else the component's.
#if defined(_WIN32)
#include "q7kcomm/win32_com.h"
#else
#include "q7kcomm/posix_com.h"
#endif

namespace q7k {

// Owning wrapper for a BSTR, with UTF-8 conversions.
class Q7K_API Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const char16_t* text);
  explicit Bstr(const std::u16string& text);
  // UTF-8 in; invalid sequences become U+FFFD.
  static Bstr FromUtf8(const std::string& utf8);
  // Takes ownership of s.
  static Bstr Attach(BSTR s);

  Bstr(const Bstr& other);
  Bstr& operator=(const Bstr& other);
  Bstr(Bstr&& other) noexcept : s_(std::exchange(other.s_, nullptr)) {}
  Bstr& operator=(Bstr&& other) noexcept;
  ~Bstr();

  BSTR get() const { return s_; }
  // Frees the held string and returns the slot for an [out] parameter.
  BSTR* out();
  // Gives up ownership.
  BSTR Detach() { return std::exchange(s_, nullptr); }
  uint32_t length() const { return SysStringLen(s_); }
  bool empty() const { return length() == 0; }
  std::u16string str() const;
  std::string utf8() const;

 private:
  BSTR s_ = nullptr;
};

Q7K_API std::string Utf16ToUtf8(const std::u16string& text);
Q7K_API std::u16string Utf8ToUtf16(const std::string& text);

// ---------------------------------------------------------------------------
// Identifiers.

static_assert(sizeof(GUID) == 16, "GUID is 16 bytes");

extern Q7K_API const GUID CLSID_Q7kComm;
extern Q7K_API const GUID IID_IQ7kComm;
extern Q7K_API const GUID IID_IQ7kCalStatus;
extern Q7K_API const GUID IID_IQ7kEeprom;
extern Q7K_API const GUID IID_IQ7kLog;
extern Q7K_API const GUID LIBID_Q7KCOMMLib;

// ---------------------------------------------------------------------------
// Small reference-holding smart pointer.
template <typename T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Adds a reference to p.
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  void Reset() {
    if (p_) std::exchange(p_, nullptr)->Release();
  }
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // Releases the held pointer and returns the slot for an [out] parameter.
  T** ReleaseAndGetAddressOf() {
    Reset();
    return &p_;
  }
  void** AsVoidOut() {
    return reinterpret_cast<void**>(ReleaseAndGetAddressOf());
  }

  // Queries the held object for another interface.
  template <typename U>
  HRESULT As(const GUID& iid, ComPtr<U>* out) const {
    if (!p_) return E_POINTER;
    return p_->QueryInterface(iid, out->AsVoidOut());
  }

 private:
  T* p_ = nullptr;
};

// ---------------------------------------------------------------------------
// Per-thread error information, published by a failing method.

struct ErrorInfo {
  std::u16string description;
  std::u16string source;
  GUID iid;
  std::u16string helpFile;
  uint32_t helpContext;
};

// S_OK: fills *out and clears the thread's record. S_FALSE: there is none
// (*out untouched). E_POINTER for a null out.
Q7K_API HRESULT GetErrorInfo(ErrorInfo* out);
Q7K_API void SetErrorInfo(const ErrorInfo& info);
Q7K_API void ClearErrorInfo();

// ---------------------------------------------------------------------------
// Creation.

// Creates a component object of class clsid and returns interface iid.
// E_NOINTERFACE (class or interface unknown), E_POINTER, E_OUTOFMEMORY.
Q7K_API HRESULT CreateInstance(const GUID& clsid, const GUID& iid, void** ppv);
// The same by ProgID: "Veltrax.Q7kComm.1" or "Veltrax.Q7kComm".
Q7K_API HRESULT CreateInstance(const char* progId, const GUID& iid, void** ppv);

}  // namespace q7k

#endif  // Q7KCOMM_COM_H_
