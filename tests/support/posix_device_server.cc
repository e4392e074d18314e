#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <tuple>
#include <thread>

#include "support/device_server.h"

namespace q7k {
namespace {

// True when /proc lists a socket listening on 127.0.0.1:port.
bool Listening(uint16_t port) {
  char wanted[32];
  std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
  std::ifstream table("/proc/net/tcp");
  std::string line;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state;
    fields >> slot >> local >> remote >> state;
    if (local == wanted && state == "0A") return true;
  }
  return false;
}

}  // namespace

uint16_t FreeLoopbackPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  struct sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof a;
  uint16_t port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length) == 0) {
    port = ntohs(a.sin_port);
  }
  close(fd);
  return port;
}

std::string DeviceServer::Program() {
  for (const char* path : {"/usr/sbin/ser2net", "/usr/bin/ser2net"}) {
    if (access(path, X_OK) == 0) return path;
  }
  return std::string();
}

DeviceServer::DeviceServer(std::string devicePath)
    : device_(std::move(devicePath)),
      controlPort_(FreeLoopbackPort()),
      rawPort_(FreeLoopbackPort()) {}

DeviceServer::~DeviceServer() {
  Stop();
  if (!config_.empty()) unlink(config_.c_str());
}

std::string DeviceServer::Url(bool comPortControl) const {
  return (comPortControl ? "rfc2217://127.0.0.1:" : "socket://127.0.0.1:") +
         std::to_string(comPortControl ? controlPort_ : rawPort_);
}

bool DeviceServer::Start() {
  if (config_.empty()) {
    char name[] = "/tmp/q7k-device-server-XXXXXX.yaml";
    const int fd = mkstemps(name, 5);
    if (fd < 0) {
      error_ = "cannot create a configuration file";
      return false;
    }
    close(fd);
    config_ = name;
  }
  std::ofstream yaml(config_, std::ios::trunc);
  for (const auto& [name, accepter, port] :
       {std::tuple{"control", "telnet(rfc2217),tcp", controlPort_},
        {"raw", "tcp", rawPort_}}) {
    yaml << "connection: &" << name << "\n  accepter: " << accepter
         << ",127.0.0.1," << port << "\n  connector: serialdev," << device_
         << ",115200n81,local\n";
  }
  yaml.close();
  if (!yaml) {
    error_ = "cannot write " + config_;
    return false;
  }
  const std::string program = Program();
  pid_ = fork();
  if (pid_ == 0) {
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    execl(program.c_str(), program.c_str(), "-n", "-d", "-u", "-c",
          config_.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  // The server announces nothing when its accepters are up; /proc shows
  // them, so look there now and then until it does or the server died.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!Listening(controlPort_) || !Listening(rawPort_)) {
    int status = 0;
    if (pid_ < 0 || waitpid(pid_, &status, WNOHANG) != 0) {
      pid_ = -1;
      error_ = "ser2net did not start";
      return false;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      error_ = "ser2net did not listen";
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
