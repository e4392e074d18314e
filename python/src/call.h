// How one interface method becomes one Python callable: the arguments are
// converted, the GIL is let go for the call (any call may wait on the
// instrument), the out values come back as the result, and a failure
// becomes a q7kcomm.Error raised with the thread's error information.
#ifndef Q7K_PYTHON_CALL_H_
#define Q7K_PYTHON_CALL_H_

#include <pybind11/pybind11.h>
#include <q7kcomm/q7kcomm.h>

#include <functional>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

namespace q7k::python {

namespace py = pybind11;

// One component object and its four interfaces.
struct Comm {
  ComPtr<IQ7kComm> comm;
  ComPtr<IQ7kCalStatus> cal;
  ComPtr<IQ7kEeprom> eeprom;
  ComPtr<IQ7kLog> log;

  Comm();
  // Closes the port and drops the object; later calls raise ValueError.
  void Release();
  template <typename I>
  I* Get() const;
};

template <>
inline IQ7kComm* Comm::Get<IQ7kComm>() const { return comm.Get(); }
template <>
inline IQ7kCalStatus* Comm::Get<IQ7kCalStatus>() const { return cal.Get(); }
template <>
inline IQ7kEeprom* Comm::Get<IQ7kEeprom>() const { return eeprom.Get(); }
template <>
inline IQ7kLog* Comm::Get<IQ7kLog>() const { return log.Get(); }

// What a failed call left, taken on the calling thread before anything
// else can replace it.
struct Failure {
  HRESULT hr = S_OK;
  short code = 0;
  std::string message;
};

// Raises ValueError when the object was released.
void RequireLive(const Comm& c);
// The interface to call, taken with the GIL held: Release may run on
// another thread once the call lets go of it.
template <typename I>
I* Live(const Comm& c) {
  RequireLive(c);
  return c.Get<I>();
}
// Runs call without the GIL, holding a reference on the object so a
// Release on another thread cannot free it meanwhile; raises what a Python callback raised during
// it, then q7kcomm.Error when it failed.
HRESULT Run(const Comm& c, const std::function<HRESULT()>& call);
// Keeps an exception raised in a callback for the call that invoked it.
void KeepCallbackError(py::error_already_set&& error);
// Whether a callback of the running call raised: the call cannot be
// stopped, but the callbacks are, as a loop is by an exception.
bool CallbackFailed();

// --- Argument conversion --------------------------------------------------

// What Python passes for an input parameter of type T.
template <typename T, typename = void>
struct In {
  using type = T;
  static T ToC(const type& v) { return v; }
};
template <typename T>
struct In<T, std::enable_if_t<std::is_enum_v<T>>> {
  using type = int32_t;
  static T ToC(type v) { return static_cast<T>(v); }
};
template <>
struct In<BSTR> {
  using type = std::string;
};
// Records are passed in place: the call fills the caller's object.
template <typename R>
struct In<R*, std::enable_if_t<std::is_class_v<R>>> {
  using type = R&;
  static R* ToC(R& v) { return &v; }
};

// The out value of a T* parameter, and its Python value.
template <typename T>
struct Out {
  T value{};
  auto Value() const {
    if constexpr (std::is_enum_v<T>) {
      return static_cast<int32_t>(value);
    } else {
      return value;
    }
  }
};
template <>
struct Out<BSTR> {
  BSTR value = nullptr;
  Out() = default;
  Out(const Out&) = delete;
  ~Out() { SysFreeString(value); }
  std::string Value() const;
};

template <typename T>
constexpr bool kIsOut = std::is_pointer_v<T> &&
                        !std::is_const_v<std::remove_pointer_t<T>> &&
                        !std::is_class_v<std::remove_pointer_t<T>> &&
                        !std::is_same_v<T, BSTR>;

// How many of the last parameters are out values.
template <typename... A>
constexpr size_t CountTrailingOuts() {
  constexpr bool outs[] = {false, kIsOut<A>...};
  size_t n = 0;
  for (size_t i = sizeof...(A); i > 0 && outs[i]; --i) ++n;
  return n;
}

// BSTR inputs own a converted copy for the length of the call.
template <typename T>
struct Arg {
  typename In<T>::type v;
  T get() const { return In<T>::ToC(v); }
};
template <>
struct Arg<BSTR> {
  Bstr keep;
  // Implicit: built from the Python text in a braced list.
  Arg(const std::string& s) : keep(Bstr::FromUtf8(s)) {}
  BSTR get() const { return keep.get(); }
};

template <typename I, typename... A, size_t... N, size_t... K>
auto MakeCall(HRESULT (Q7K_STDCALL I::*m)(A...), std::index_sequence<N...>,
              std::index_sequence<K...>) {
  using Args = std::tuple<A...>;
  constexpr size_t kIns = sizeof...(N);
  return [m](const Comm& c,
             typename In<std::tuple_element_t<N, Args>>::type... in) {
    I* target = Live<I>(c);
    std::tuple<Arg<std::tuple_element_t<N, Args>>...> args{{in}...};
    std::tuple<Out<std::remove_pointer_t<std::tuple_element_t<kIns + K, Args>>>...>
        outs;
    [[maybe_unused]] const HRESULT hr = Run(c, [&] {
      return (target->*m)(std::get<N>(args).get()...,
                          &std::get<K>(outs).value...);
    });
    if constexpr (sizeof...(K) == 0) {
      return hr;
    } else if constexpr (sizeof...(K) == 1) {
      return std::get<0>(outs).Value();
    } else {
      return std::make_tuple(std::get<K>(outs).Value()...);
    }
  };
}

// The Python callable for method m: the in parameters in order, returning
// the out values (one, a tuple of several) or, without any, the HRESULT
// (S_OK or S_FALSE). Records are filled in place.
template <typename I, typename... A>
auto Call(HRESULT (Q7K_STDCALL I::*m)(A...)) {
  constexpr size_t kOuts = CountTrailingOuts<A...>();
  return MakeCall(m, std::make_index_sequence<sizeof...(A) - kOuts>(),
                  std::make_index_sequence<kOuts>());
}

// The property setter for put_X: the value alone, nothing returned.
template <typename I, typename T>
auto Setter(HRESULT (Q7K_STDCALL I::*m)(T)) {
  return [m](const Comm& c, typename In<T>::type v) { Call(m)(c, v); };
}

}  // namespace q7k::python

// One binding per method, one per property: the name is the method's own.
#define Q7K_PY_METHOD(cls, I, name) cls.def(#name, ::q7k::python::Call(&I::name))
#define Q7K_PY_PROPERTY(cls, I, name)                          \
  cls.def_property(#name, ::q7k::python::Call(&I::get_##name), \
                   ::q7k::python::Setter(&I::put_##name))
#define Q7K_PY_READONLY(cls, I, name) \
  cls.def_property_readonly(#name, ::q7k::python::Call(&I::get_##name))
// Indexed properties keep their method pair: get_X(i), put_X(i, value).
#define Q7K_PY_INDEXED(cls, I, name)                    \
  Q7K_PY_METHOD(cls, I, get_##name);                    \
  Q7K_PY_METHOD(cls, I, put_##name)

#endif  // Q7K_PYTHON_CALL_H_
