#include "eeprom/calibration_status.h"

#include "eeprom/board_layout.h"
#include "q7kcomm/types.h"

namespace q7k {
namespace {

constexpr int16_t kSwitchReported = 2;

int32_t LongAt(const EepromImage& image, int location) {
  int32_t v = 0;
  image.GetLong(location, &v);
  return v;
}

int16_t Ones(const EepromImage& image, int location, uint16_t mask = 0xFFFF) {
  return static_cast<int16_t>(
      OnesIn(image.words()[static_cast<size_t>(location)] & mask));
}

}  // namespace

CalibrationStatus::CalibrationStatus() {
  for (int type = 0; type < kCalBlocks; ++type) InitRecord(type);
}

CalBoard CalibrationStatus::BoardOf(int type) {
  switch (type) {
    case GUARD_CAL:
      return {"2933", 0, 0};
    case MAIN_REF_CAL:
      return {"", 0, 2};
    case FIELD_REF_CAL:
      return {"", 0, 3};
    case BP_FACTORY_CAL:
    case BP_FIELD_CAL:
      return {"", 0, 0};
    case MODESWITCH_CAL:
      return {"2957", 0, 0};
    default:
      return {"", 0, 0};
  }
}

void CalibrationStatus::MarkSearching(int type) {
  if (type == MODESWITCH_CAL) records_[type].ReportedStatus = kSwitchReported;
}

bool CalibrationStatus::CheckBlock(int type, int b, const EepromImage& image) {
  CalStatusRecord& r = records_[type];
  r.CalNumFactors = static_cast<int16_t>(
      image.words()[static_cast<size_t>(b + board::kBlockFactors)]);
  r.CalValidFactors =
      static_cast<int16_t>(Ones(image, b + board::kBlockValidBits) +
                           Ones(image, b + board::kBlockValidBits + 1));
  const bool serialsMatch = LongAt(image, b + board::kBlockGuardSerial) ==
                                records_[GUARD_CAL].CalSerialNumber &&
                            LongAt(image, b + board::kBlockSwitchSerial) ==
                                records_[MODESWITCH_CAL].CalSerialNumber &&
                            LongAt(image, b + board::kBlockMainRefSerial) ==
                                records_[MAIN_REF_CAL].CalSerialNumber &&
                            LongAt(image, b + board::kBlockBackplaneSerial) ==
                                records_[BP_FACTORY_CAL].CalSerialNumber;
  r.CalSerialNumError = serialsMatch ? 0 : 1;
  return serialsMatch && records_[GUARD_CAL].CalStatus != 0 &&
         records_[MAIN_REF_CAL].CalStatus != 0 &&
         records_[FIELD_REF_CAL].CalStatus != 0 &&
         records_[MODESWITCH_CAL].CalStatus != 0;
}

void CalibrationStatus::Judge(int type, int16_t calDone,
                              const EepromImage& image) {
  CalStatusRecord& r = records_[type];
  r.ChecksumStatus = image.checksum() == 0 ? 1 : 0;
  r.CalSerialNumber = LongAt(image, board::kAssySerial);
  if (type == MODESWITCH_CAL) {
    r.CalStatus = 1;  // the switch holds no factors to judge
    return;
  }
  r.ReportedStatus = calDone;
  r.CalNumFactors = static_cast<int16_t>(image.words()[board::kRecordFactors]);
  bool boardOk = true;
  int expected = 0;
  switch (type) {
    case GUARD_CAL:
      r.CalValidFactors =
          static_cast<int16_t>(Ones(image, board::kRecordValidBits) +
                               Ones(image, board::kRecordValidBits + 1));
      expected = 25;
      break;
    case MAIN_REF_CAL:
      r.CalValidFactors = Ones(image, board::kRecordValidBits, 0x3);
      expected = 2;
      break;
    case FIELD_REF_CAL:
      r.CalValidFactors = Ones(image, board::kRecordValidBits,
                               r.CalNumFactors == 4 ? 0xF : 0x3F);
      expected = r.CalValidFactors;
      break;
    case BP_FACTORY_CAL:
      boardOk = CheckBlock(type, board::kFactoryBlock, image);
      expected = 26;
      break;
    default:
      boardOk = CheckBlock(type, board::kFieldBlock, image);
      expected = 30;
      break;
  }
  const bool valid = r.ChecksumStatus == 1 && boardOk &&
                     r.CalNumFactors == expected &&
                     r.CalValidFactors == expected;
  r.CalStatus = valid ? 1 : 0;
  r.CalStatusError = valid ? (calDone == 0 ? 1 : 0) : calDone;
}

}  // namespace q7k
