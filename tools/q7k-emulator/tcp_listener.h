// TcpListener: the emulator's listening socket for --listen, which serves
// the instrument to one network client at a time in place of a
// pseudo-terminal.
//
//   rfc2217://ADDR:PORT   Telnet with com-port control
//   socket://ADDR:PORT    raw bytes
//
// ADDR is an IPv4 address, an IPv6 address in brackets or a host name (the
// first of its addresses that can be bound); empty, every IPv4 address. PORT 0 lets the system pick one; url() then
// names the port actually bound, so it can be handed to a host as it is.
//
// Thread safety: none; one thread opens, uses and closes a listener.
#ifndef Q7K_EMULATOR_TCP_LISTENER_H_
#define Q7K_EMULATOR_TCP_LISTENER_H_

#include <string>

namespace q7k {
namespace emu {

struct ListenAddress {
  bool telnet = false;  // rfc2217:// rather than socket://
  std::string host;     // without brackets
  std::string port;
};

// False with error set when url is not of one of the forms above.
bool ParseListenUrl(const std::string& url, ListenAddress* out,
                    std::string* error);

class TcpListener {
 public:
  TcpListener() = default;
  ~TcpListener() { Close(); }
  TcpListener(const TcpListener&) = delete;
  TcpListener& operator=(const TcpListener&) = delete;

  bool Open(const std::string& url, std::string* error);
  void Close();

  // A waiting connection, non-blocking, or -1; peer names it for the trace.
  int Accept(std::string* peer);

  int fd() const { return fd_; }
  bool telnet() const { return address_.telnet; }
  const std::string& url() const { return url_; }

 private:
  int fd_ = -1;
  ListenAddress address_;
  std::string url_;
};

// Sends text to a client that cannot be served and closes the connection.
void RefuseConnection(int fd, const char* text);
// Closes a connection without resetting it: what the client sent and was
// not read is read and dropped first, so what was sent to it still
// arrives.
void CloseConnection(int fd);

}  // namespace emu
}  // namespace q7k

#endif  // Q7K_EMULATOR_TCP_LISTENER_H_
