// CalibrationStatus: the verdict on each of the six calibrations (CAL_INDEX)
// and how it is reached from the board EEPROM that holds the calibration.
//
// The backplane blocks compare the board serial numbers they were made with
// against the serial numbers the other records hold, so a survey judges
// GUARD_CAL, MAIN_REF_CAL, FIELD_REF_CAL and MODESWITCH_CAL first, then
// BP_FACTORY_CAL, then BP_FIELD_CAL.
//
// Thread safety: none; the client's thread.
#ifndef Q7K_EEPROM_CALIBRATION_STATUS_H_
#define Q7K_EEPROM_CALIBRATION_STATUS_H_

#include <cstdint>

#include "eeprom/calibration_cache.h"
#include "eeprom/eeprom_image.h"

namespace q7k {

// One calibration's verdict, in the order the system declares the fields.
struct CalStatusRecord {
  int16_t ReportedStatus = -1;  // the caller's done flag; 2 for the switch
  int16_t ChecksumStatus = 0;   // 1: the board sums to 0
  int16_t CalNumFactors = 0;    // declared by the EEPROM
  int16_t CalValidFactors = 0;  // valid-factor bits set
  int16_t CalSerialNumError = 0;
  int16_t CalStatusError = 0;  // the done flag disagrees with the verdict
  int16_t CalStatus = 0;       // 1: calibration valid
  int32_t CalSerialNumber = 0;
};

// The board a calibration lives on: found by key, or at a fixed address.
struct CalBoard {
  const char* key;  // "" for a fixed address (and for an unknown type)
  int16_t slot;
  int16_t subslot;
};

class CalibrationStatus {
 public:
  // Every record starts as InitRecord leaves it, so that a backplane check
  // never compares against undefined serial numbers.
  CalibrationStatus();

  static bool Known(int type) { return type >= 0 && type < kCalBlocks; }
  static CalBoard BoardOf(int type);

  // REQUIRES for the rest: Known(type).
  const CalStatusRecord& record(int type) const { return records_[type]; }
  void InitRecord(int type) { records_[type] = CalStatusRecord{}; }
  // A verdict reached elsewhere (the built-in instrument's).
  void SetRecord(int type, const CalStatusRecord& r) { records_[type] = r; }
  // The switch's record says 2 from the moment its board is looked for.
  void MarkSearching(int type);
  void MarkUnreadable(int type) { records_[type].ReportedStatus = 0; }
  // The verdict on the board image just read.
  void Judge(int type, int16_t calDone, const EepromImage& image);

 private:
  // The backplane block at base b: factors, valid bits and serial numbers;
  // true when the block and the boards it depends on are sound.
  bool CheckBlock(int type, int b, const EepromImage& image);

  CalStatusRecord records_[kCalBlocks];
};

}  // namespace q7k

#endif  // Q7K_EEPROM_CALIBRATION_STATUS_H_
