// q7kcomm/types.h: the enumerations and records of the component's type
// library.
//
// Records are plain structs with natural alignment; BOOL in a record is a
// 16-bit truth value (0 false, non-zero true; clients pass -1 for true) and
// every enumeration is 32 bits wide. The layouts are part of the interface:
// the static_asserts below pin every size and offset.
#ifndef Q7KCOMM_TYPES_H_
#define Q7KCOMM_TYPES_H_

#include <cstddef>
#include <cstdint>

namespace q7k {

using VARIANT_BOOL16 = int16_t;  // BOOL inside records

enum Q7K_LANGUAGE : int32_t {
  LANGUAGE_ENGLISH = 0,
  LANGUAGE_SPANISH = 1,
  LANGUAGE_PORTUGUESE = 2,
  LANGUAGE_FRENCH = 3,
};

// Serial port numbers; any number from 1 up is accepted by the port methods.
enum Q7K_PORT : int32_t { COM1 = 1, COM2 = 2, COM3 = 3, COM4 = 4 };

// Line speed codes. BPS_115200 runs the line at 112500 bit/s.
enum Q7K_BPS : int32_t {
  BPS_9600 = 0,
  BPS_14400 = 1,
  BPS_19200 = 2,
  BPS_38400 = 3,
  BPS_57600 = 4,
  BPS_115200 = 5,
  BPS_128000 = 6,
};

enum SIMUL_MODE : int32_t {
  SIMUL_NONE = 0,
  SIMUL_EXC = 1,
  SIMUL_CLIP = 2,
  SIMUL_XREF = 3,
  SIMUL_LEAK = 4,
  SIMUL_BHT = 5,
  SIMUL_CAL = 6,
};

enum TYPE_OF_CAL : int32_t { NO_CAL = 0, RE_CAL = 2 };

enum TYPE_OF_TEST : int32_t {
  POWER_FACTOR_TEST = 0,
  EXT_REF_TEST = 1,
  EXT_REF_GST = 2,
  LEAK_REAC_TEST = 3,
  EXCITATION_TEST = 4,
};

enum NORM_REV : int32_t {
  NR_NOCHANGE = -1,
  NR_NORMAL = 0,
  NR_REVERSE = 1,
  NR_TRANSITION = 2,
  NR_MIN_VOLT = 3,
  NR_MAX_VOLT = 4,
};

enum CIRC_DESC : int32_t {
  CIRC_GND_RB = 0,
  CIRC_GAR_RB = 1,
  CIRC_GAR_R = 2,
  CIRC_GAR_B = 3,
  CIRC_UST_RB = 4,
  CIRC_UST_R = 5,
  CIRC_UST_B = 6,
};

enum BASE_FREQ : int32_t { FREQ_50HZ = 0, FREQ_60HZ = 1 };

enum DISPLAY_MODE : int32_t { ACTUAL_VALUES = 0, REF_TO_10KV = 1 };

enum CALC_MODEL : int32_t { SERIES_MODEL = 0, PARALLEL_MODEL = 1 };

enum FILTER_TYPE : int32_t {
  FIR_FAST_RESULTS = 0,
  FIR_SLOW_RESULTS = 1,
  LOWPASS_AVERAGED = 2,
};

enum WATTS_RANGE : int32_t {
  WR_AUTO = 0,
  WR_100KW = 1,
  WR_30KW = 2,
  WR_10KW = 3,
  WR_3KW = 4,
  WR_1KW = 5,
  WR_300W = 6,
  WR_100W = 7,
  WR_30W = 8,
  WR_10W = 9,
  WR_3W = 10,
  WR_1W = 11,
  WR_300MW = 12,
  WR_10MW = 13,
  WR_30MW = 14,
};

enum LINE_TYPE : int32_t { LINE_FREQ_TEST = 0, LINE_SYNC_TEST = 1 };

enum VOLT_SOURCE : int32_t { SRC_INTERNAL = 0, SRC_EXTERNAL = 1 };

enum MODE_LATCH1 : int32_t { ML1_NONE = 0 };

enum MODE_LATCH2 : int32_t {
  ML2_NONE = 0,
  ML2_GST_GND_RED_BLUE = 7,
  ML2_UST_RED_BLUE = 11,
  ML2_GST_GAR_BLUE = 21,
  ML2_UST_RED = 25,
  ML2_GST_GAR_RED = 38,
  ML2_UST_BLUE = 42,
  ML2_GST_GAR_RED_BLUE = 52,
};

enum REF_TYPE : int32_t {
  MAIN_REF_TYPE = 0,
  FIELD_RED = 1,
  FIELD_BLUE = 2,
  EXT_RESISTOR = 3,
  EXT_CAPACITOR = 4,
};

enum AC_DC : int32_t { AC_TEST = 0, DC_TEST = 1 };

enum VOLT_CORRECT : int32_t {
  VC_DISABLE = 0,
  VC_ENABLE = 1,
  VC_RESET_RAMP = 2,
  VC_RESET_EXCITE = 3,
};

enum CURRENT_RANGE : int32_t {
  CR_AUTO = 0,
  CR_10A = 1,
  CR_3A = 2,
  CR_1A = 3,
  CR_300MA = 4,
  CR_100MA = 5,
  CR_30MA = 6,
  CR_10MA = 7,
  CR_3MA = 8,
  CR_1MA = 9,
  CR_300UA = 10,
};

// Reference channels of the calibration pool.
enum REFCAL_INDEX : int32_t {
  MAIN_RES = 0,
  RED_RES = 1,
  MRED_RES = 2,
  BLUE_RES = 3,
  NBLUE_RES = 4,
};

// The six calibration blocks.
enum CAL_INDEX : int32_t {
  GUARD_CAL = 0,
  MAIN_REF_CAL = 1,
  FIELD_REF_CAL = 2,
  BP_FACTORY_CAL = 3,
  BP_FIELD_CAL = 4,
  MODESWITCH_CAL = 5,
};

// Test settings and the client's test state (104 bytes).
struct Q7K_TEST_PARAMS {
  float KVolt;
  float KVoltMax;
  float KVoltStep;
  float WattsAdjustment;
  VARIANT_BOOL16 AdjustWatts;
  VARIANT_BOOL16 ExtendedResults;
  TYPE_OF_CAL TypeOfCal;
  TYPE_OF_TEST TypeOfTest;
  VARIANT_BOOL16 Ranging;
  VARIANT_BOOL16 VoltageSettling;
  VARIANT_BOOL16 WaitingForVcToggle;
  VARIANT_BOOL16 WaitingForVcStable;
  VARIANT_BOOL16 SavedStateVcToggle;
  NORM_REV NormRevStatus;
  NORM_REV NormRevEnable;
  NORM_REV NormRevPrevious;
  CIRC_DESC CircDesc;
  BASE_FREQ BaseFreq;
  DISPLAY_MODE DisplayMode;
  CALC_MODEL CapModel;
  CALC_MODEL IndModel;
  FILTER_TYPE FilterType;
  WATTS_RANGE WattsRange;
  VARIANT_BOOL16 ManualMode;
  VARIANT_BOOL16 ReverseDone;
  VARIANT_BOOL16 SettlingDone;
  int16_t CalTestNum;
  NORM_REV TestPhase;
  float Frequency;
  int32_t SamplesToAvg;
  int32_t VoltageScale;
};

// Initial test parameters (40 bytes).
struct Q7K_INIT_PARAMS {
  LINE_TYPE LineType;
  VOLT_SOURCE VoltageSource;
  VARIANT_BOOL16 BeeperEnable;
  VARIANT_BOOL16 StrobeEnforce;
  VARIANT_BOOL16 SafetySwitchEnforce;
  VARIANT_BOOL16 LVInsertEnforce;
  int16_t MaxVolts;
  int32_t XfmrMaxTempTime;
  float XfmrTemp;
  float ExtRefCapacitance;
  float ExtRefResistance;
  float ExtRefPwrFactor;
};

// Runtime test parameters (40 bytes).
struct Q7K_RUNTM_PARAMS {
  MODE_LATCH1 ModeLatch1;
  MODE_LATCH2 ModeLatch2;
  REF_TYPE ReferenceType;
  AC_DC AcDcTest;
  VOLT_CORRECT EnableVoltCorrect;
  NORM_REV TestPhase;
  int16_t TestVoltage;
  int16_t VoltageScale;
  CURRENT_RANGE CurrentRange;
  float Frequency;
  int16_t SamplesToAvg;
};

// Measured and derived values of one result poll (112 bytes).
struct Q7K_TEST_DATA {
  float KVoltMeas;
  float KVoltCalc;
  float Amperes;
  float Watts;
  float PowerFactor;
  float TangentDelta;
  float SineThetaX100;
  float VectorDotProduct;
  float VectorCrossProduct;
  float RefVoltageMag;
  float SpecCurrentMag;
  float SeriesCap;
  float ParallelCap;
  float SeriesInd;
  float ParallelInd;
  float SeriesRes;
  float ParallelRes;
  float FrequencyMeas;
  float SpecimenPeak;
  float ReferencePeak;
  float SpecimenPeakMin;
  float SpecimenPeakMax;
  float InputCurrent;
  float XfmrCurrent;
  int32_t VoltageScale;
  CURRENT_RANGE CurrentRange;
  FILTER_TYPE FilterType;
  int16_t SamplesAveraged;
};

// Temperatures and thermal state (64 bytes).
struct Q7K_THERMAL_DATA {
  float ExtTemperature;
  float ExtHumidity;
  float EstXfmrTemp;
  float CardCageTemp;
  float XfmrCurrent;
  float AmpInputCurrent;
  float AmplifierTemp;
  float MainRefTemp;
  float CalRefTemp;
  float OvertempVal;
  float CooldownTemp;
  int16_t HeatingStatus;
  int32_t XfmrOverheatTime;
  int32_t XfmrCooldownTime;
  int16_t ExtSensorInserted;
  int32_t IntCurrentCounter;
};

// Raw measurement vectors (36 bytes).
struct Q7K_RAW_DATA {
  int16_t FilterType;
  int16_t Ranging;
  int16_t NumGroups;
  int16_t NumSpecGroups;
  int16_t NumVoltGroups;
  int16_t ResultsType;
  float SpecimenPeak;
  float ReferencePeak;
  float SpecVectorX;
  float SpecVectorY;
  float RefVectorX;
  float RefVectorY;
};

static_assert(sizeof(Q7K_TEST_PARAMS) == 104, "Q7K_TEST_PARAMS size");
static_assert(offsetof(Q7K_TEST_PARAMS, WattsAdjustment) == 12, "");
static_assert(offsetof(Q7K_TEST_PARAMS, AdjustWatts) == 16, "");
static_assert(offsetof(Q7K_TEST_PARAMS, ExtendedResults) == 18, "");
static_assert(offsetof(Q7K_TEST_PARAMS, TypeOfCal) == 20, "");
static_assert(offsetof(Q7K_TEST_PARAMS, TypeOfTest) == 24, "");
static_assert(offsetof(Q7K_TEST_PARAMS, Ranging) == 28, "");
static_assert(offsetof(Q7K_TEST_PARAMS, VoltageSettling) == 30, "");
static_assert(offsetof(Q7K_TEST_PARAMS, WaitingForVcToggle) == 32, "");
static_assert(offsetof(Q7K_TEST_PARAMS, WaitingForVcStable) == 34, "");
static_assert(offsetof(Q7K_TEST_PARAMS, SavedStateVcToggle) == 36, "");
static_assert(offsetof(Q7K_TEST_PARAMS, NormRevStatus) == 40, "");
static_assert(offsetof(Q7K_TEST_PARAMS, NormRevEnable) == 44, "");
static_assert(offsetof(Q7K_TEST_PARAMS, NormRevPrevious) == 48, "");
static_assert(offsetof(Q7K_TEST_PARAMS, CircDesc) == 52, "");
static_assert(offsetof(Q7K_TEST_PARAMS, BaseFreq) == 56, "");
static_assert(offsetof(Q7K_TEST_PARAMS, DisplayMode) == 60, "");
static_assert(offsetof(Q7K_TEST_PARAMS, CapModel) == 64, "");
static_assert(offsetof(Q7K_TEST_PARAMS, IndModel) == 68, "");
static_assert(offsetof(Q7K_TEST_PARAMS, FilterType) == 72, "");
static_assert(offsetof(Q7K_TEST_PARAMS, WattsRange) == 76, "");
static_assert(offsetof(Q7K_TEST_PARAMS, ManualMode) == 80, "");
static_assert(offsetof(Q7K_TEST_PARAMS, ReverseDone) == 82, "");
static_assert(offsetof(Q7K_TEST_PARAMS, SettlingDone) == 84, "");
static_assert(offsetof(Q7K_TEST_PARAMS, CalTestNum) == 86, "");
static_assert(offsetof(Q7K_TEST_PARAMS, TestPhase) == 88, "");
static_assert(offsetof(Q7K_TEST_PARAMS, Frequency) == 92, "");
static_assert(offsetof(Q7K_TEST_PARAMS, SamplesToAvg) == 96, "");
static_assert(offsetof(Q7K_TEST_PARAMS, VoltageScale) == 100, "");

static_assert(sizeof(Q7K_INIT_PARAMS) == 40, "Q7K_INIT_PARAMS size");
static_assert(offsetof(Q7K_INIT_PARAMS, VoltageSource) == 4, "");
static_assert(offsetof(Q7K_INIT_PARAMS, BeeperEnable) == 8, "");
static_assert(offsetof(Q7K_INIT_PARAMS, StrobeEnforce) == 10, "");
static_assert(offsetof(Q7K_INIT_PARAMS, SafetySwitchEnforce) == 12, "");
static_assert(offsetof(Q7K_INIT_PARAMS, LVInsertEnforce) == 14, "");
static_assert(offsetof(Q7K_INIT_PARAMS, MaxVolts) == 16, "");
static_assert(offsetof(Q7K_INIT_PARAMS, XfmrMaxTempTime) == 20, "");
static_assert(offsetof(Q7K_INIT_PARAMS, XfmrTemp) == 24, "");
static_assert(offsetof(Q7K_INIT_PARAMS, ExtRefCapacitance) == 28, "");
static_assert(offsetof(Q7K_INIT_PARAMS, ExtRefResistance) == 32, "");
static_assert(offsetof(Q7K_INIT_PARAMS, ExtRefPwrFactor) == 36, "");

static_assert(sizeof(Q7K_RUNTM_PARAMS) == 40, "Q7K_RUNTM_PARAMS size");
static_assert(offsetof(Q7K_RUNTM_PARAMS, ModeLatch2) == 4, "");
static_assert(offsetof(Q7K_RUNTM_PARAMS, ReferenceType) == 8, "");
static_assert(offsetof(Q7K_RUNTM_PARAMS, AcDcTest) == 12, "");
static_assert(offsetof(Q7K_RUNTM_PARAMS, EnableVoltCorrect) == 16, "");
static_assert(offsetof(Q7K_RUNTM_PARAMS, TestPhase) == 20, "");
static_assert(offsetof(Q7K_RUNTM_PARAMS, TestVoltage) == 24, "");
static_assert(offsetof(Q7K_RUNTM_PARAMS, VoltageScale) == 26, "");
static_assert(offsetof(Q7K_RUNTM_PARAMS, CurrentRange) == 28, "");
static_assert(offsetof(Q7K_RUNTM_PARAMS, Frequency) == 32, "");
static_assert(offsetof(Q7K_RUNTM_PARAMS, SamplesToAvg) == 36, "");

static_assert(sizeof(Q7K_TEST_DATA) == 112, "Q7K_TEST_DATA size");
static_assert(offsetof(Q7K_TEST_DATA, KVoltCalc) == 4, "");
static_assert(offsetof(Q7K_TEST_DATA, SpecCurrentMag) == 40, "");
static_assert(offsetof(Q7K_TEST_DATA, ParallelRes) == 64, "");
static_assert(offsetof(Q7K_TEST_DATA, FrequencyMeas) == 68, "");
static_assert(offsetof(Q7K_TEST_DATA, XfmrCurrent) == 92, "");
static_assert(offsetof(Q7K_TEST_DATA, VoltageScale) == 96, "");
static_assert(offsetof(Q7K_TEST_DATA, CurrentRange) == 100, "");
static_assert(offsetof(Q7K_TEST_DATA, FilterType) == 104, "");
static_assert(offsetof(Q7K_TEST_DATA, SamplesAveraged) == 108, "");

static_assert(sizeof(Q7K_THERMAL_DATA) == 64, "Q7K_THERMAL_DATA size");
static_assert(offsetof(Q7K_THERMAL_DATA, CooldownTemp) == 40, "");
static_assert(offsetof(Q7K_THERMAL_DATA, HeatingStatus) == 44, "");
static_assert(offsetof(Q7K_THERMAL_DATA, XfmrOverheatTime) == 48, "");
static_assert(offsetof(Q7K_THERMAL_DATA, XfmrCooldownTime) == 52, "");
static_assert(offsetof(Q7K_THERMAL_DATA, ExtSensorInserted) == 56, "");
static_assert(offsetof(Q7K_THERMAL_DATA, IntCurrentCounter) == 60, "");

static_assert(sizeof(Q7K_RAW_DATA) == 36, "Q7K_RAW_DATA size");
static_assert(offsetof(Q7K_RAW_DATA, ResultsType) == 10, "");
static_assert(offsetof(Q7K_RAW_DATA, SpecimenPeak) == 12, "");
static_assert(offsetof(Q7K_RAW_DATA, RefVectorY) == 32, "");

}  // namespace q7k

#endif  // Q7KCOMM_TYPES_H_
