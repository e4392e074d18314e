// The enumerations' values and the host hooks: progress, message pump,
// serial device names.
#include <memory>
#include <string>
#include <vector>

#include "bindings.h"

namespace q7k::python {
namespace {

// A Python callable that may be dropped on any thread: the reference is
// given back under the GIL.
using SharedCallable = std::shared_ptr<py::object>;

SharedCallable Share(const py::object& callable) {
  return SharedCallable(new py::object(callable), [](py::object* p) {
    py::gil_scoped_acquire gil;
    delete p;
  });
}

// Runs a callback on the component's thread; what it raises is kept for
// the call that is running, which calls no more callbacks.
template <typename F>
void Callback(F&& f) {
  if (CallbackFailed()) return;
  py::gil_scoped_acquire gil;
  try {
    f();
  } catch (py::error_already_set& e) {
    KeepCallbackError(std::move(e));
  }
}

class PythonProgressView : public ProgressView {
 public:
  explicit PythonProgressView(SharedCallable callback)
      : callback_(std::move(callback)) {}
  bool Open(int32_t, const ProgressState& state) override {
    Deliver(state);
    return true;
  }
  void Update(const ProgressState& state) override { Deliver(state); }

 private:
  void Deliver(const ProgressState& s) {
    Callback([&] {
      (*callback_)(py::arg("position") = s.position,
                   py::arg("lower") = s.lower, py::arg("upper") = s.upper,
                   py::arg("bar") = s.barVisible,
                   py::arg("message") = Utf16ToUtf8(s.message),
                   py::arg("label") = Utf16ToUtf8(s.label),
                   py::arg("title") = Utf16ToUtf8(s.title));
    });
  }
  SharedCallable callback_;
};

void SetProgressHook(const py::object& callback) {
  if (callback.is_none()) {
    SetProgressViewFactory({});
    return;
  }
  SharedCallable shared = Share(callback);
  SetProgressViewFactory([shared]() -> std::unique_ptr<ProgressView> {
    return std::make_unique<PythonProgressView>(shared);
  });
}

void SetPump(const py::object& pump) {
  if (pump.is_none()) {
    SetMessagePump({});
    return;
  }
  SharedCallable shared = Share(pump);
  SetMessagePump([shared] { Callback([&] { (*shared)(); }); });
}

// name -> [(member, value)], for the package's IntEnums.
void AddEnum(py::dict& all, const char* name, const std::string& members,
             const std::vector<int32_t>& values) {
  py::list pairs;
  size_t start = 0;
  for (int32_t value : values) {
    size_t end = members.find(',', start);
    if (end == std::string::npos) end = members.size();
    std::string member = members.substr(start, end - start);
    member.erase(0, member.find_first_not_of(" \n"));
    pairs.append(py::make_tuple(member, value));
    start = end + 1;
  }
  all[name] = pairs;
}

#define Q7K_ENUM(all, name, ...) AddEnum(all, #name, #__VA_ARGS__, {__VA_ARGS__})

}  // namespace

void BindEnumerations(py::module_& m) {
  py::dict e;
  Q7K_ENUM(e, Q7K_LANGUAGE, LANGUAGE_ENGLISH, LANGUAGE_SPANISH,
           LANGUAGE_PORTUGUESE, LANGUAGE_FRENCH);
  Q7K_ENUM(e, Q7K_PORT, COM1, COM2, COM3, COM4);
  Q7K_ENUM(e, Q7K_BPS, BPS_9600, BPS_14400, BPS_19200, BPS_38400, BPS_57600,
           BPS_115200, BPS_128000);
  Q7K_ENUM(e, SIMUL_MODE, SIMUL_NONE, SIMUL_EXC, SIMUL_CLIP, SIMUL_XREF,
           SIMUL_LEAK, SIMUL_BHT, SIMUL_CAL);
  Q7K_ENUM(e, TYPE_OF_CAL, NO_CAL, RE_CAL);
  Q7K_ENUM(e, TYPE_OF_TEST, POWER_FACTOR_TEST, EXT_REF_TEST, EXT_REF_GST,
           LEAK_REAC_TEST, EXCITATION_TEST);
  Q7K_ENUM(e, NORM_REV, NR_NOCHANGE, NR_NORMAL, NR_REVERSE, NR_TRANSITION,
           NR_MIN_VOLT, NR_MAX_VOLT);
  Q7K_ENUM(e, CIRC_DESC, CIRC_GND_RB, CIRC_GAR_RB, CIRC_GAR_R, CIRC_GAR_B,
           CIRC_UST_RB, CIRC_UST_R, CIRC_UST_B);
  Q7K_ENUM(e, BASE_FREQ, FREQ_50HZ, FREQ_60HZ);
  Q7K_ENUM(e, DISPLAY_MODE, ACTUAL_VALUES, REF_TO_10KV);
  Q7K_ENUM(e, CALC_MODEL, SERIES_MODEL, PARALLEL_MODEL);
  Q7K_ENUM(e, FILTER_TYPE, FIR_FAST_RESULTS, FIR_SLOW_RESULTS,
           LOWPASS_AVERAGED);
  Q7K_ENUM(e, WATTS_RANGE, WR_AUTO, WR_100KW, WR_30KW, WR_10KW, WR_3KW,
           WR_1KW, WR_300W, WR_100W, WR_30W, WR_10W, WR_3W, WR_1W, WR_300MW,
           WR_10MW, WR_30MW);
  Q7K_ENUM(e, LINE_TYPE, LINE_FREQ_TEST, LINE_SYNC_TEST);
  Q7K_ENUM(e, VOLT_SOURCE, SRC_INTERNAL, SRC_EXTERNAL);
  Q7K_ENUM(e, MODE_LATCH1, ML1_NONE);
  Q7K_ENUM(e, MODE_LATCH2, ML2_NONE, ML2_GST_GND_RED_BLUE, ML2_UST_RED_BLUE,
           ML2_GST_GAR_BLUE, ML2_UST_RED, ML2_GST_GAR_RED, ML2_UST_BLUE,
           ML2_GST_GAR_RED_BLUE);
  Q7K_ENUM(e, REF_TYPE, MAIN_REF_TYPE, FIELD_RED, FIELD_BLUE, EXT_RESISTOR,
           EXT_CAPACITOR);
  Q7K_ENUM(e, AC_DC, AC_TEST, DC_TEST);
  Q7K_ENUM(e, VOLT_CORRECT, VC_DISABLE, VC_ENABLE, VC_RESET_RAMP,
           VC_RESET_EXCITE);
  Q7K_ENUM(e, CURRENT_RANGE, CR_AUTO, CR_10A, CR_3A, CR_1A, CR_300MA,
           CR_100MA, CR_30MA, CR_10MA, CR_3MA, CR_1MA, CR_300UA);
  Q7K_ENUM(e, REFCAL_INDEX, MAIN_RES, RED_RES, MRED_RES, BLUE_RES, NBLUE_RES);
  Q7K_ENUM(e, CAL_INDEX, GUARD_CAL, MAIN_REF_CAL, FIELD_REF_CAL,
           BP_FACTORY_CAL, BP_FIELD_CAL, MODESWITCH_CAL);
  m.attr("_enumerations") = e;
}

void BindHost(py::module_& m) {
  m.def("set_progress_hook", &SetProgressHook, py::arg("callback"),
        "Draws the component's progress window through callback(position=, "
        "lower=, upper=, bar=, message=, label=, title=), called on the "
        "thread of the call that shows it; None restores the default view. "
        "What it raises is raised by that call when it returns.");
  m.def("set_message_pump", &SetPump, py::arg("pump"),
        "Calls pump() while the component waits and would pump messages; "
        "None removes it.");
  m.def("SetSerialPortPath", &SetSerialPortPath, py::arg("port"),
        py::arg("path"));
  m.def("ResolveSerialPortPath", &ResolveSerialPortPath, py::arg("port"));
  m.def("SetAnsiCodePage", &SetAnsiCodePage, py::arg("code_page"));
  m.def("GetAnsiCodePage", &GetAnsiCodePage);
  // Hooks holding Python objects must go before the interpreter does.
  py::module_::import("atexit").attr("register")(py::cpp_function([] {
    SetProgressViewFactory({});
    SetMessagePump({});
  }));
}

}  // namespace q7k::python
