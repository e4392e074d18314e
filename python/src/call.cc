#include "call.h"

#include <optional>
#include <stdexcept>

namespace q7k::python {
namespace {

// Callbacks run on the thread that made the call (the component shows
// progress and pumps messages on it), so the call finds its own.
thread_local std::optional<py::error_already_set> t_callback_error;

Failure TakeFailure(IQ7kComm* comm, HRESULT hr) {
  Failure f;
  f.hr = hr;
  ErrorInfo info{};
  if (GetErrorInfo(&info) == S_OK) f.message = Utf16ToUtf8(info.description);
  // Only E_FAIL records a code; the others are the caller's mistake.
  if (hr == E_FAIL) comm->get_ErrorCode(&f.code);
  return f;
}

[[noreturn]] void Raise(const Failure& f) {
  py::object error = py::module_::import("q7kcomm._errors")
                         .attr("error_for")(f.code, f.message, f.hr);
  PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(error.ptr())),
                  error.ptr());
  throw py::error_already_set();
}

}  // namespace

Comm::Comm() {
  if (FAILED(CreateInstance(CLSID_Q7kComm, IID_IQ7kComm, comm.AsVoidOut())) ||
      FAILED(comm.As(IID_IQ7kCalStatus, &cal)) ||
      FAILED(comm.As(IID_IQ7kEeprom, &eeprom)) ||
      FAILED(comm.As(IID_IQ7kLog, &log))) {
    throw std::runtime_error("the Q7kComm component could not be created");
  }
}

void Comm::Release() {
  ComPtr<IQ7kComm> last = comm;
  if (!last) return;
  log.Reset();
  eeprom.Reset();
  cal.Reset();
  comm.Reset();
  // Closing joins the port's threads and may wait for a call running on
  // another thread (it holds its own reference): not with the GIL.
  py::gil_scoped_release nogil;
  last->ClosePort();
  last.Reset();
}

void RequireLive(const Comm& c) {
  if (!c.comm) throw py::value_error("the Q7kComm object was released");
}

HRESULT Run(const Comm& c, const std::function<HRESULT()>& call) {
  HRESULT hr = S_OK;
  Failure failure;
  const ComPtr<IQ7kComm> keep = c.comm;
  {
    py::gil_scoped_release nogil;
    hr = call();
    if (FAILED(hr)) failure = TakeFailure(keep.Get(), hr);
  }
  if (t_callback_error) {
    py::error_already_set error = std::move(*t_callback_error);
    t_callback_error.reset();
    throw error;
  }
  if (FAILED(hr)) Raise(failure);
  return hr;
}

void KeepCallbackError(py::error_already_set&& error) {
  // The first one counts: later ones are usually its consequences.
  if (!t_callback_error) t_callback_error.emplace(std::move(error));
}

bool CallbackFailed() { return t_callback_error.has_value(); }

std::string Out<BSTR>::Value() const {
  if (value == nullptr) return {};
  return Utf16ToUtf8(std::u16string(value, SysStringLen(value)));
}

}  // namespace q7k::python
