#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstdlib>

#include "support/serial_peer.h"

namespace q7k {

SerialPeer::SerialPeer() : socket_(INVALID_SOCKET) {
  const char* port = std::getenv("Q7K_SERIAL_PEER");
  if (port == nullptr) {
    error_ = "no serial peer (scripts/windows-check starts one)";
    return;
  }
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
    error_ = "WSAStartup failed";
    return;
  }
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(std::atoi(port)));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (s == INVALID_SOCKET ||
      connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    error_ = "cannot reach the serial peer at port " + std::string(port);
    if (s != INVALID_SOCKET) closesocket(s);
    return;
  }
  socket_ = s;
  comName_ = Ask("");
  if (comName_.rfind("COM", 0) != 0) error_ = "serial peer: " + comName_;
}

SerialPeer::~SerialPeer() {
  if (socket_ == INVALID_SOCKET) return;
  closesocket(static_cast<SOCKET>(socket_));
  WSACleanup();
}

int32_t SerialPeer::comNumber() const {
  return comName_.size() > 3 ? std::atoi(comName_.c_str() + 3) : -1;
}

// Sends line (none when empty) and returns the peer's one-line answer.
std::string SerialPeer::Ask(const std::string& line) {
  const SOCKET s = static_cast<SOCKET>(socket_);
  if (s == INVALID_SOCKET) return "error no session";
  const std::string out = line.empty() ? line : line + "\n";
  if (!out.empty() && send(s, out.data(), static_cast<int>(out.size()), 0) !=
                          static_cast<int>(out.size())) {
    return "error send";
  }
  size_t end;
  while ((end = pending_.find('\n')) == std::string::npos) {
    char block[4096];
    const int n = recv(s, block, sizeof block, 0);
    if (n <= 0) return "error the peer went away";
    pending_.append(block, static_cast<size_t>(n));
  }
  std::string answer = pending_.substr(0, end);
  pending_.erase(0, end + 1);
  return answer;
}

bool SerialPeer::Send(const std::vector<uint8_t>& bytes) {
  std::string line = "send ";
  char hex[3];
  for (uint8_t b : bytes) {
    std::snprintf(hex, sizeof hex, "%02x", b);
    line += hex;
  }
  return Ask(line) == "ok";
}

std::vector<uint8_t> SerialPeer::Receive(size_t count, int32_t ms) {
  const std::string hex =
      Ask("recv " + std::to_string(count) + " " + std::to_string(ms));
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes.push_back(static_cast<uint8_t>(
        std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16)));
  }
  return bytes;
}

bool SerialPeer::Echo(bool on) { return Ask(on ? "echo 1" : "echo 0") == "ok"; }

bool SerialPeer::Hangup() { return Ask("hangup") == "ok"; }

bool SerialPeer::StartEmulator(const std::string& options) {
  return Ask("emulator " + options) == "ok";
}

}  // namespace q7k
