// The records of types.h as classes with named fields. Enumerations and
// 16-bit truth values stay the numbers the instrument sees; the package
// gives them meaning.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bindings.h"

namespace q7k::python {
namespace {

template <typename R>
class Record {
 public:
  Record(py::module_& m, const char* name, const char* doc)
      : cls_(m, name, doc), names_(std::make_shared<std::vector<std::string>>()) {}

  template <typename T>
  Record& Field(const char* name, T R::*member) {
    names_->push_back(name);
    if constexpr (std::is_enum_v<T>) {
      cls_.def_property(
          name, [member](const R& r) { return static_cast<int32_t>(r.*member); },
          [member](R& r, int32_t v) { r.*member = static_cast<T>(v); });
    } else {
      cls_.def_readwrite(name, member);
    }
    return *this;
  }

  // Keyword construction, equality, repr and pickling, from the fields.
  void Finish() {
    auto names = names_;
    py::tuple fields(names->size());
    for (size_t i = 0; i < names->size(); ++i) fields[i] = py::str((*names)[i]);
    cls_.attr("_fields") = fields;
    cls_.def(py::init([](const py::kwargs& values) {
               auto r = std::make_unique<R>();
               py::object self = py::cast(r.get(), py::return_value_policy::reference);
               for (auto item : values) py::setattr(self, item.first, item.second);
               return r;
             }),
             "Fields not given are 0.");
    cls_.def("__repr__", [names](const py::object& self) {
      std::string text = py::str(self.attr("__class__").attr("__name__"));
      text += "(";
      for (size_t i = 0; i < names->size(); ++i) {
        if (i > 0) text += ", ";
        text += (*names)[i] + "=" +
                std::string(py::repr(self.attr((*names)[i].c_str())));
      }
      return text + ")";
    });
    cls_.def("__eq__", [](const R& a, const py::object& b) -> py::object {
      if (!py::isinstance<R>(b)) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
      const R& other = b.cast<const R&>();
      return py::bool_(std::memcmp(&a, &other, sizeof(R)) == 0);
    });
    cls_.def(py::pickle(
        [](const R& r) {
          return py::bytes(reinterpret_cast<const char*>(&r), sizeof(R));
        },
        [](const py::bytes& state) {
          const std::string raw = state;
          if (raw.size() != sizeof(R)) throw py::value_error("record size");
          auto r = std::make_unique<R>();
          std::memcpy(r.get(), raw.data(), sizeof(R));
          return r;
        }));
  }

 private:
  py::class_<R> cls_;
  std::shared_ptr<std::vector<std::string>> names_;
};

#define Q7K_FIELD(rec, R, name) rec.Field(#name, &R::name)

}  // namespace

void BindRecords(py::module_& m) {
  // Records are zero-initialised and compared bytewise: padding stays 0.
  Record<Q7K_TEST_PARAMS> tp(m, "Q7K_TEST_PARAMS", "Test settings and state.");
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, KVolt);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, KVoltMax);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, KVoltStep);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, WattsAdjustment);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, AdjustWatts);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, ExtendedResults);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, TypeOfCal);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, TypeOfTest);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, Ranging);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, VoltageSettling);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, WaitingForVcToggle);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, WaitingForVcStable);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, SavedStateVcToggle);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, NormRevStatus);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, NormRevEnable);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, NormRevPrevious);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, CircDesc);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, BaseFreq);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, DisplayMode);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, CapModel);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, IndModel);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, FilterType);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, WattsRange);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, ManualMode);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, ReverseDone);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, SettlingDone);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, CalTestNum);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, TestPhase);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, Frequency);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, SamplesToAvg);
  Q7K_FIELD(tp, Q7K_TEST_PARAMS, VoltageScale);
  tp.Finish();

  Record<Q7K_INIT_PARAMS> ip(m, "Q7K_INIT_PARAMS", "Initial test parameters.");
  Q7K_FIELD(ip, Q7K_INIT_PARAMS, LineType);
  Q7K_FIELD(ip, Q7K_INIT_PARAMS, VoltageSource);
  Q7K_FIELD(ip, Q7K_INIT_PARAMS, BeeperEnable);
  Q7K_FIELD(ip, Q7K_INIT_PARAMS, StrobeEnforce);
  Q7K_FIELD(ip, Q7K_INIT_PARAMS, SafetySwitchEnforce);
  Q7K_FIELD(ip, Q7K_INIT_PARAMS, LVInsertEnforce);
  Q7K_FIELD(ip, Q7K_INIT_PARAMS, MaxVolts);
  Q7K_FIELD(ip, Q7K_INIT_PARAMS, XfmrMaxTempTime);
  Q7K_FIELD(ip, Q7K_INIT_PARAMS, XfmrTemp);
  Q7K_FIELD(ip, Q7K_INIT_PARAMS, ExtRefCapacitance);
  Q7K_FIELD(ip, Q7K_INIT_PARAMS, ExtRefResistance);
  Q7K_FIELD(ip, Q7K_INIT_PARAMS, ExtRefPwrFactor);
  ip.Finish();

  Record<Q7K_RUNTM_PARAMS> rp(m, "Q7K_RUNTM_PARAMS", "Runtime test parameters.");
  Q7K_FIELD(rp, Q7K_RUNTM_PARAMS, ModeLatch1);
  Q7K_FIELD(rp, Q7K_RUNTM_PARAMS, ModeLatch2);
  Q7K_FIELD(rp, Q7K_RUNTM_PARAMS, ReferenceType);
  Q7K_FIELD(rp, Q7K_RUNTM_PARAMS, AcDcTest);
  Q7K_FIELD(rp, Q7K_RUNTM_PARAMS, EnableVoltCorrect);
  Q7K_FIELD(rp, Q7K_RUNTM_PARAMS, TestPhase);
  Q7K_FIELD(rp, Q7K_RUNTM_PARAMS, TestVoltage);
  Q7K_FIELD(rp, Q7K_RUNTM_PARAMS, VoltageScale);
  Q7K_FIELD(rp, Q7K_RUNTM_PARAMS, CurrentRange);
  Q7K_FIELD(rp, Q7K_RUNTM_PARAMS, Frequency);
  Q7K_FIELD(rp, Q7K_RUNTM_PARAMS, SamplesToAvg);
  rp.Finish();

  Record<Q7K_TEST_DATA> td(m, "Q7K_TEST_DATA", "Values of one result poll.");
  Q7K_FIELD(td, Q7K_TEST_DATA, KVoltMeas);
  Q7K_FIELD(td, Q7K_TEST_DATA, KVoltCalc);
  Q7K_FIELD(td, Q7K_TEST_DATA, Amperes);
  Q7K_FIELD(td, Q7K_TEST_DATA, Watts);
  Q7K_FIELD(td, Q7K_TEST_DATA, PowerFactor);
  Q7K_FIELD(td, Q7K_TEST_DATA, TangentDelta);
  Q7K_FIELD(td, Q7K_TEST_DATA, SineThetaX100);
  Q7K_FIELD(td, Q7K_TEST_DATA, VectorDotProduct);
  Q7K_FIELD(td, Q7K_TEST_DATA, VectorCrossProduct);
  Q7K_FIELD(td, Q7K_TEST_DATA, RefVoltageMag);
  Q7K_FIELD(td, Q7K_TEST_DATA, SpecCurrentMag);
  Q7K_FIELD(td, Q7K_TEST_DATA, SeriesCap);
  Q7K_FIELD(td, Q7K_TEST_DATA, ParallelCap);
  Q7K_FIELD(td, Q7K_TEST_DATA, SeriesInd);
  Q7K_FIELD(td, Q7K_TEST_DATA, ParallelInd);
  Q7K_FIELD(td, Q7K_TEST_DATA, SeriesRes);
  Q7K_FIELD(td, Q7K_TEST_DATA, ParallelRes);
  Q7K_FIELD(td, Q7K_TEST_DATA, FrequencyMeas);
  Q7K_FIELD(td, Q7K_TEST_DATA, SpecimenPeak);
  Q7K_FIELD(td, Q7K_TEST_DATA, ReferencePeak);
  Q7K_FIELD(td, Q7K_TEST_DATA, SpecimenPeakMin);
  Q7K_FIELD(td, Q7K_TEST_DATA, SpecimenPeakMax);
  Q7K_FIELD(td, Q7K_TEST_DATA, InputCurrent);
  Q7K_FIELD(td, Q7K_TEST_DATA, XfmrCurrent);
  Q7K_FIELD(td, Q7K_TEST_DATA, VoltageScale);
  Q7K_FIELD(td, Q7K_TEST_DATA, CurrentRange);
  Q7K_FIELD(td, Q7K_TEST_DATA, FilterType);
  Q7K_FIELD(td, Q7K_TEST_DATA, SamplesAveraged);
  td.Finish();

  Record<Q7K_THERMAL_DATA> th(m, "Q7K_THERMAL_DATA", "Temperatures and thermal state.");
  Q7K_FIELD(th, Q7K_THERMAL_DATA, ExtTemperature);
  Q7K_FIELD(th, Q7K_THERMAL_DATA, ExtHumidity);
  Q7K_FIELD(th, Q7K_THERMAL_DATA, EstXfmrTemp);
  Q7K_FIELD(th, Q7K_THERMAL_DATA, CardCageTemp);
  Q7K_FIELD(th, Q7K_THERMAL_DATA, XfmrCurrent);
  Q7K_FIELD(th, Q7K_THERMAL_DATA, AmpInputCurrent);
  Q7K_FIELD(th, Q7K_THERMAL_DATA, AmplifierTemp);
  Q7K_FIELD(th, Q7K_THERMAL_DATA, MainRefTemp);
  Q7K_FIELD(th, Q7K_THERMAL_DATA, CalRefTemp);
  Q7K_FIELD(th, Q7K_THERMAL_DATA, OvertempVal);
  Q7K_FIELD(th, Q7K_THERMAL_DATA, CooldownTemp);
  Q7K_FIELD(th, Q7K_THERMAL_DATA, HeatingStatus);
  Q7K_FIELD(th, Q7K_THERMAL_DATA, XfmrOverheatTime);
  Q7K_FIELD(th, Q7K_THERMAL_DATA, XfmrCooldownTime);
  Q7K_FIELD(th, Q7K_THERMAL_DATA, ExtSensorInserted);
  Q7K_FIELD(th, Q7K_THERMAL_DATA, IntCurrentCounter);
  th.Finish();

  Record<Q7K_RAW_DATA> raw(m, "Q7K_RAW_DATA", "Raw measurement vectors.");
  Q7K_FIELD(raw, Q7K_RAW_DATA, FilterType);
  Q7K_FIELD(raw, Q7K_RAW_DATA, Ranging);
  Q7K_FIELD(raw, Q7K_RAW_DATA, NumGroups);
  Q7K_FIELD(raw, Q7K_RAW_DATA, NumSpecGroups);
  Q7K_FIELD(raw, Q7K_RAW_DATA, NumVoltGroups);
  Q7K_FIELD(raw, Q7K_RAW_DATA, ResultsType);
  Q7K_FIELD(raw, Q7K_RAW_DATA, SpecimenPeak);
  Q7K_FIELD(raw, Q7K_RAW_DATA, ReferencePeak);
  Q7K_FIELD(raw, Q7K_RAW_DATA, SpecVectorX);
  Q7K_FIELD(raw, Q7K_RAW_DATA, SpecVectorY);
  Q7K_FIELD(raw, Q7K_RAW_DATA, RefVectorX);
  Q7K_FIELD(raw, Q7K_RAW_DATA, RefVectorY);
  raw.Finish();
}

}  // namespace q7k::python
