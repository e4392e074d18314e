#include "responder.h"

#include "link/line_codec.h"
#include "link/message_buffer.h"

namespace q7k {
namespace emu {

Exchange Respond(const uint8_t* frame, size_t size, InstrumentModel* model,
                 FaultPlan* faults) {
  Exchange ex;
  // The decoder never hands over more than its buffer holds.
  MessageBuffer request(static_cast<uint32_t>(LineDecoder::kBufferSize));
  if (size < kFrameOverhead ||
      !request.SetFrame(frame, static_cast<uint32_t>(size))) {
    return ex;
  }
  const uint16_t sum =
      static_cast<uint16_t>(request.ByteSum(static_cast<int32_t>(size) - 2));
  if (sum != request.ChecksumField()) return ex;

  ex.answered = true;
  ex.command = request.MessageNumber();
  const size_t payloadSize = size - kFrameOverhead;
  ex.payload.assign(frame + 6, frame + 6 + payloadSize);
  if (static_cast<uint16_t>(request.LengthField()) != payloadSize) {
    ex.reply = Reply::Nak(kInstrumentBadLength);
  } else {
    ex.reply = model->Handle(ex.command, ex.payload.data(), payloadSize);
  }
  ex.tx = Shape(ex.command, ex.reply, faults->Fire(ex.command));
  return ex;
}

}  // namespace emu
}  // namespace q7k
