// The commands' names and their payloads as named fields: requests as the
// component builds them, positive replies as the component's own decoders
// read them. A payload shorter than its layout, or a command without one,
// shows as hex.
//
// Thread safety: pure functions.
#ifndef Q7K_TOOLS_Q7K_DECODER_COMMAND_FIELDS_H_
#define Q7K_TOOLS_Q7K_DECODER_COMMAND_FIELDS_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace q7k::decoder {

using Fields = std::vector<std::pair<std::string, std::string>>;

// The interface method that sends command, or "0x7E15" for one the
// component never sends.
std::string CommandName(uint16_t command);

std::string Hex(const uint8_t* p, size_t n);

// payload: the request frame's payload bytes (the length word of a
// variable-length request is the frame's length field, not payload).
void DescribeRequest(uint16_t command, const uint8_t* payload, size_t n,
                     Fields* out);
// data: a positive reply's data after its ACK byte.
void DescribeReply(uint16_t command, const uint8_t* data, size_t n,
                   Fields* out);

}  // namespace q7k::decoder

#endif  // Q7K_TOOLS_Q7K_DECODER_COMMAND_FIELDS_H_
