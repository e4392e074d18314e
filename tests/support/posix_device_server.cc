#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/device_server.h"

namespace q7k {
namespace {

// True when /proc lists a socket listening on 127.0.0.1:port.
bool Listening(uint16_t port) {
  char wanted[32];
  std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
  std::ifstream table("/proc/net/tcp");
  for (std::string line; std::getline(table, line);) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (local == wanted && state == "0A") return true;
  }
  return false;
}

}  // namespace

int ListenOnLoopback(uint16_t* port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
  *port = ntohs(a.sin_port);
  listen(fd, 1);
  return fd;
}

uint16_t FreeLoopbackPort() {
  uint16_t port = 0;
  close(ListenOnLoopback(&port));
  return port;
}

bool DeviceServer::Installed() { return access(kProgram, X_OK) == 0; }

DeviceServer::DeviceServer(std::string devicePath, bool charDelay)
    : device_(std::move(devicePath)),
      charDelay_(charDelay),
      ports_{FreeLoopbackPort(), FreeLoopbackPort()} {}

std::string DeviceServer::Url(bool comPortControl) const {
  return (comPortControl ? "rfc2217://127.0.0.1:" : "socket://127.0.0.1:") +
         std::to_string(ports_[comPortControl ? 0 : 1]);
}

bool DeviceServer::Start() {
  // The configuration on the command line, '#' for a new line.
  std::string connections[2];
  for (int i = 0; i < 2; ++i) {
    connections[i] = std::string("connection: &c") + char('0' + i) +
                     "#  accepter: " + (i == 0 ? "telnet(rfc2217)," : "") +
                     "tcp,127.0.0.1," + std::to_string(ports_[i]) +
                     "#  connector: serialdev," + device_ + ",115200n81,local" +
                     (charDelay_ ? "" : "#  options:#    chardelay: false");
  }
  pid_ = fork();
  if (pid_ == 0) {
    // A test that crashes must not leave its server behind.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    execl(kProgram, kProgram, "-n", "-d", "-u", "-Y", connections[0].c_str(),
          "-Y", connections[1].c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  // The server announces nothing when its accepters are up; /proc shows
  // them, so look there now and then until it does or the server died.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!Listening(ports_[0]) || !Listening(ports_[1])) {
    if (pid_ < 0 || waitpid(pid_, nullptr, WNOHANG) != 0) pid_ = -1;
    if (pid_ < 0 || std::chrono::steady_clock::now() > deadline) {
      Stop();
      error_ = "ser2net did not start listening";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

void DeviceServer::Stop() {
  if (pid_ <= 0) return;
  kill(pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace q7k
