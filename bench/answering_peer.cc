#include "bench/answering_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

#include "bench/bench_frames.h"

namespace q7k {
namespace bench {

AnsweringPeer::AnsweringPeer(std::vector<uint8_t> reply)
    : reply_(std::move(reply)) {
  struct termios raw = {};
  cfmakeraw(&raw);
  raw.c_cflag |= CLOCAL | CREAD;
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (openpty(&master_, &slave_, nullptr, &raw, nullptr) != 0) {
    error_ = std::string("openpty: ") + std::strerror(errno);
    master_ = slave_ = -1;
    return;
  }
  char path[256];
  if (ttyname_r(slave_, path, sizeof path) != 0) {
    error_ = "ttyname_r failed";
    return;
  }
  slavePath_ = path;
  tcsetattr(master_, TCSANOW, &raw);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  stop_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stop_ < 0) {
    error_ = std::string("eventfd: ") + std::strerror(errno);
    return;
  }
  try {
    thread_ = std::thread([this] { Run(); });
  } catch (const std::system_error& e) {
    error_ = e.what();
  }
}

AnsweringPeer::~AnsweringPeer() {
  if (thread_.joinable()) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = write(stop_, &one, sizeof one);
    thread_.join();
  }
  for (int fd : {stop_, master_, slave_}) {
    if (fd >= 0) close(fd);
  }
}

std::vector<uint8_t> AnsweringPeer::LastRequest() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lastRequest_;
}

void AnsweringPeer::Run() {
  threadId_.store(gettid());
  uint8_t block[256];
  for (;;) {
    pollfd fds[2] = {{master_, POLLIN, 0}, {stop_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents != 0) return;
    if (fds[0].revents == 0) continue;
    const ssize_t n = read(master_, block, sizeof block);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (n <= 0) return;  // the master failed: nothing more will come
    if (!Take(block, static_cast<size_t>(n))) return;
  }
}

bool AnsweringPeer::Take(const uint8_t* bytes, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    const uint8_t b = bytes[i];
    current_.push_back(b);
    if (!afterDle_) {
      afterDle_ = b == kDle;
      continue;
    }
    afterDle_ = false;
    if (b == kStx) {  // a new line starts: drop whatever came before it
      current_.assign({kDle, kStx});
    } else if (b == kEtx) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        lastRequest_.swap(current_);
      }
      current_.clear();
      requests_.fetch_add(1);
      if (!reply_.empty() && !WriteAll(reply_)) return false;
    }
  }
  return true;
}

bool AnsweringPeer::WriteAll(const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put =
        write(master_, bytes.data() + done, bytes.size() - done);
    if (put > 0) {
      done += static_cast<size_t>(put);
      continue;
    }
    if (put < 0 && errno != EAGAIN && errno != EINTR) return false;
    pollfd fds[2] = {{master_, POLLOUT, 0}, {stop_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 && errno != EINTR) return false;
    if (fds[1].revents != 0) return false;
  }
  return true;
}

}  // namespace bench
}  // namespace q7k
