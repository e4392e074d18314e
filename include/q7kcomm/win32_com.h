// q7kcomm/win32_com.h: on Windows the component speaks the platform's own COM
// (included by q7kcomm/com.h; not meant to be included on its own). The q7k::
// names are the platform's, so a q7k::BSTR is a BSTR from SysAllocString and
// q7k::IUnknown is the IUnknown every COM client knows. HRESULT constants and
// SUCCEEDED / FAILED are the platform's macros.
#ifndef Q7KCOMM_WIN32_COM_H_
#define Q7KCOMM_WIN32_COM_H_

#include <oaidl.h>
#include <objbase.h>
#include <oleauto.h>

// The interfaces' calling convention, as every COM interface has it.
#define Q7K_STDCALL STDMETHODCALLTYPE

namespace q7k {

using ::BSTR;
using ::GUID;
using ::HRESULT;
using ::IErrorInfo;
using ::ISupportErrorInfo;
using ::IUnknown;
using ::SysAllocString;
using ::SysAllocStringLen;
using ::SysFreeString;
using ::SysStringLen;

using ::IID_ISupportErrorInfo;
using ::IID_IUnknown;

}  // namespace q7k

#endif  // Q7KCOMM_WIN32_COM_H_
