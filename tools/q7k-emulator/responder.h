// Respond: turns one decoded request frame into what goes back on the line:
// checks the frame, lets the instrument model answer, applies the faults in
// force.
//
// Frame checks: a frame shorter than 8 bytes or with a wrong checksum is
// dropped unanswered (a corrupted frame says nothing trustworthy about what
// was asked); a length field that disagrees with the frame's size is
// answered NAK 2.
//
// Thread safety: none; the caller serialises access to model and faults.
#ifndef Q7K_EMULATOR_RESPONDER_H_
#define Q7K_EMULATOR_RESPONDER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "faults.h"
#include "instrument_model.h"

namespace q7k {
namespace emu {

struct Exchange {
  bool answered = false;  // false: the frame was dropped
  uint16_t command = 0;
  std::vector<uint8_t> payload;  // the request payload
  Reply reply;                   // the model's reply, before faults
  Transmission tx;
};

Exchange Respond(const uint8_t* frame, size_t size, InstrumentModel* model,
                 FaultPlan* faults);

}  // namespace emu
}  // namespace q7k

#endif  // Q7K_EMULATOR_RESPONDER_H_
