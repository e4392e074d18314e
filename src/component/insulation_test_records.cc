#include "component/insulation_test_records.h"

#include "link/le_bytes.h"

namespace q7k {
namespace {

// Enumerations and 32-bit integers travel as their low 16 bits.
uint32_t Low16(int32_t v) { return static_cast<uint32_t>(v) & 0xFFFF; }

}  // namespace

std::vector<uint8_t> EncodeInitParams(const Q7K_INIT_PARAMS& p) {
  PayloadWriter w;
  w.U16(Low16(p.LineType))
      .U16(Low16(p.VoltageSource))
      .U16(Low16(p.BeeperEnable))
      .U16(Low16(p.StrobeEnforce))
      .U16(Low16(p.SafetySwitchEnforce))
      .U16(Low16(p.LVInsertEnforce))
      .U16(Low16(p.MaxVolts))
      .U16(Low16(p.XfmrMaxTempTime))
      .F32(p.XfmrTemp)
      .F32(p.ExtRefCapacitance)
      .F32(p.ExtRefResistance)
      .F32(p.ExtRefPwrFactor);
  return w.bytes();
}

std::vector<uint8_t> EncodeRuntimeParams(const Q7K_RUNTM_PARAMS& p) {
  PayloadWriter w;
  w.U16(Low16(p.ModeLatch1))
      .U16(Low16(p.ModeLatch2))
      .U16(Low16(p.ReferenceType))
      .U16(Low16(p.AcDcTest))
      .U16(Low16(p.EnableVoltCorrect))
      .U16(Low16(p.TestPhase))
      .U16(Low16(p.TestVoltage))
      .U16(Low16(p.VoltageScale))
      .U16(Low16(p.CurrentRange))
      .F32(p.Frequency);
  return w.bytes();
}

std::vector<uint8_t> EncodeResultRequest(const Q7K_TEST_PARAMS& p) {
  PayloadWriter w;
  w.U16(Low16(p.FilterType)).U16(Low16(p.SamplesToAvg));
  return w.bytes();
}

void DecodeThermalBlock(const uint8_t* b, Q7K_THERMAL_DATA* t) {
  float* floats[] = {&t->ExtTemperature, &t->ExtHumidity, &t->EstXfmrTemp,
                     &t->CardCageTemp,   &t->XfmrCurrent, &t->AmpInputCurrent,
                     &t->AmplifierTemp,  &t->MainRefTemp, &t->CalRefTemp,
                     &t->OvertempVal,    &t->CooldownTemp};
  for (size_t i = 0; i < 11; ++i) *floats[i] = LoadF32(b + 4 * i);
  t->HeatingStatus = LoadI16(b + 44);
  t->XfmrOverheatTime = LoadU16(b + 46);
  t->XfmrCooldownTime = LoadU16(b + 48);
  t->ExtSensorInserted = LoadI16(b + 50);
  t->IntCurrentCounter = LoadU16(b + 52);
}

bool DecodeTestResults(const uint8_t* p, size_t n, Q7K_TEST_PARAMS* params,
                       Q7K_TEST_DATA* data, Q7K_THERMAL_DATA* thermal) {
  const bool extended = n > kResultReplyBytes;
  if (n < (extended ? kExtendedResultReplyBytes : kResultReplyBytes)) {
    return false;
  }
  const int16_t status = LoadI16(p);
  const bool ranging = status == 1;
  params->NormRevStatus = static_cast<NORM_REV>(LoadI16(p + 2));
  data->VoltageScale = LoadU16(p + 4);
  data->CurrentRange = static_cast<CURRENT_RANGE>(LoadI16(p + 6));
  data->FilterType = static_cast<FILTER_TYPE>(LoadI16(p + 8));
  data->KVoltMeas = LoadF32(p + 10);
  params->Ranging = ranging ? 1 : 0;
  if (!ranging) {
    // While ranging the instrument's values are not yet meaningful: the
    // previous ones stay.
    float* results[] = {&data->KVoltCalc,
                        &data->Amperes,
                        &data->Watts,
                        &data->PowerFactor,
                        &data->TangentDelta,
                        &data->SineThetaX100,
                        &data->VectorDotProduct,
                        &data->VectorCrossProduct,
                        &data->RefVoltageMag,
                        &data->SpecCurrentMag,
                        &data->SeriesCap,
                        &data->ParallelCap,
                        &data->SeriesInd,
                        &data->ParallelInd,
                        &data->SeriesRes,
                        &data->ParallelRes};
    for (size_t i = 0; i < 16; ++i) *results[i] = LoadF32(p + 14 + 4 * i);
    data->SpecimenPeak = LoadF32(p + 82);
  }
  data->FrequencyMeas = LoadF32(p + 78);
  data->ReferencePeak = LoadF32(p + 86);
  data->SamplesAveraged = LoadI16(p + 90);
  DecodeThermalBlock(p + 92, thermal);
  data->XfmrCurrent = thermal->XfmrCurrent;
  data->InputCurrent = thermal->AmpInputCurrent;

  int16_t toggle = 0, stable = 0;
  if (extended) {
    toggle = LoadI16(p + 146);
    stable = LoadI16(p + 148);
    data->SpecimenPeakMin = LoadF32(p + 150);
    data->SpecimenPeakMax = LoadF32(p + 154);
  }
  if (params->ExtendedResults != 0) {
    if (params->WaitingForVcStable != 0) {
      if (stable != 0) params->WaitingForVcStable = 0;
    } else if (params->WaitingForVcToggle != 0) {
      if (params->SavedStateVcToggle != toggle) {
        params->WaitingForVcToggle = 0;
        params->WaitingForVcStable = 1;
      }
    } else {
      params->SavedStateVcToggle = toggle;
    }
  }
  params->VoltageSettling = status == 2 ? 1 : 0;
  return true;
}

}  // namespace q7k
