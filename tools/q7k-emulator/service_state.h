// ServiceState: the measurement module's registers and the service and
// calibration settings the host sends: enables, test waveform, reference,
// guard and system calibration coefficients.
//
// Request payloads (little-endian):
//   0x7E00/02/03/19  address (I4), value (I4)      write / OR / AND / write
//   0x7E01/1A        address (I4)                  read; reply: value (I4)
//   0x7E0D/0F/17     enable (I2)
//   0x7E10/11        calibration type (I2), enable (I2)
//   0x7E0E           type, index, phase, samples (I2 each), amplitude (R4),
//                    next (I2)
//   0x7E12           six R4: main resistor, main pole frequency, red
//                    resistor, red pole, blue resistor, blue pole
//   0x7E13           four DAC words (I2), reference gain (R4), gains 9..0,
//                    phases 9..0 (R4 each)
//   0x7E14           calibration type (I2), reference gain (R4), gains 9..0,
//                    phases 9..0 (R4 each)
// Reply data of 21: the six reference values in the order of 0x7E12.
//
// Thread safety: none; the owner serialises access.
#ifndef Q7K_EMULATOR_SERVICE_STATE_H_
#define Q7K_EMULATOR_SERVICE_STATE_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>

#include "reply.h"

namespace q7k {
namespace emu {

// One calibration coefficient set as the host sent it, index order 0..9.
struct CoefficientSet {
  bool received = false;
  int16_t calType = 0;
  std::array<int16_t, 4> dac{};
  float refGain = 0;
  std::array<float, 10> gains{};
  std::array<float, 10> phases{};
};

struct Waveform {
  int16_t type = 0, index = 0, phase = 0, samples = 0, next = 0;
  float amplitude = 0;
};

class ServiceState {
 public:
  ServiceState();

  // Register commands 0x7E00 to 0x7E03, 0x7E19, 0x7E1A.
  Reply Registers(uint16_t command, const uint8_t* p, size_t n);
  // Enables 0x7E0D, 0x7E0F, 0x7E10, 0x7E11, 0x7E17.
  Reply Enable(uint16_t command, const uint8_t* p, size_t n);
  Reply TestWaveform(const uint8_t* p, size_t n);    // 0x7E0E
  Reply UpdateRefCal(const uint8_t* p, size_t n);    // 0x7E12
  Reply UpdateGuardCal(const uint8_t* p, size_t n);  // 0x7E13
  Reply UpdateSysCal(const uint8_t* p, size_t n);    // 0x7E14
  Reply RefCalCoeffs() const;                        // 21

  uint32_t reg(uint32_t address) const;
  void set_reg(uint32_t address, uint32_t value) {
    registers_[address] = value;
  }
  // The last enable words of a command: [0] the enable (or the calibration
  // type for 0x7E10/11), [1] the enable of 0x7E10/11.
  std::array<int16_t, 2> enable(uint16_t command) const;
  const std::array<float, 6>& ref_coeffs() const { return refCoeffs_; }
  const CoefficientSet& guard_cal() const { return guardCal_; }
  const CoefficientSet& sys_cal() const { return sysCal_; }
  const Waveform& waveform() const { return waveform_; }

 private:
  std::map<uint32_t, uint32_t> registers_;
  std::map<uint16_t, std::array<int16_t, 2>> enables_;
  std::array<float, 6> refCoeffs_;
  CoefficientSet guardCal_;
  CoefficientSet sysCal_;
  Waveform waveform_;
};

}  // namespace emu
}  // namespace q7k

#endif  // Q7K_EMULATOR_SERVICE_STATE_H_
