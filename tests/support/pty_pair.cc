#include "support/pty_pair.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace q7k {
PtyPair::PtyPair() {
  struct termios raw = {};
  cfmakeraw(&raw);
  raw.c_cflag |= CLOCAL | CREAD;
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  if (openpty(&master_, &slave_, nullptr, &raw, nullptr) != 0) {
    error_ = std::strerror(errno);
    master_ = slave_ = -1;
    return;
  }
  char path[256];
  if (ttyname_r(slave_, path, sizeof path) != 0) {
    error_ = "ttyname_r failed";
    CloseMaster();
    CloseSlave();
    return;
  }
  slavePath_ = path;
  tcsetattr(master_, TCSANOW, &raw);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
  fcntl(master_, F_SETFD, FD_CLOEXEC);
  fcntl(slave_, F_SETFD, FD_CLOEXEC);
}

PtyPair::~PtyPair() {
  CloseMaster();
  CloseSlave();
}

void PtyPair::CloseMaster() {
  if (master_ >= 0) close(master_);
  master_ = -1;
}

void PtyPair::CloseSlave() {
  if (slave_ >= 0) close(slave_);
  slave_ = -1;
}

PtyPeer::PtyPeer(int fd, Responder responder)
    : fd_(fd), responder_(std::move(responder)) {
  fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
  wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  thread_ = std::thread(&PtyPeer::Run, this);
}

PtyPeer::~PtyPeer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  Ring();
  thread_.join();
  close(wake_);
}

void PtyPeer::Ring() {
  const uint64_t one = 1;
  while (write(wake_, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

void PtyPeer::Send(const std::vector<uint8_t>& bytes) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    outbox_.insert(outbox_.end(), bytes.begin(), bytes.end());
  }
  Ring();
}

bool PtyPeer::WaitSent(std::chrono::milliseconds deadline) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, deadline, [&] { return outbox_.empty(); });
}

bool PtyPeer::WaitReceived(size_t count, std::chrono::milliseconds deadline) {
  return WaitFor(
      [count](const std::vector<uint8_t>& got) { return got.size() >= count; },
      deadline);
}

bool PtyPeer::WaitFor(
    const std::function<bool(const std::vector<uint8_t>&)>& done,
    std::chrono::milliseconds deadline) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, deadline, [&] { return gone_ || done(received_); });
  return done(received_);
}

bool PtyPeer::WaitClosed(std::chrono::milliseconds deadline) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, deadline, [&] { return gone_; });
}

std::vector<uint8_t> PtyPeer::Received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

void PtyPeer::SetReading(bool on) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    reading_ = on;
  }
  Ring();
}

void PtyPeer::Run() {
  uint8_t block[4096];
  for (;;) {
    short events = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stop_) return;
      if (!gone_) {
        if (reading_) events |= POLLIN;
        if (!outbox_.empty()) events |= POLLOUT;
      }
    }
    // A descriptor left out of the wait cannot report a hang-up over and over.
    struct pollfd fds[2] = {{wake_, POLLIN, 0}, {fd_, events, 0}};
    if (poll(fds, events != 0 ? 2 : 1, -1) < 0) continue;
    if ((fds[0].revents & POLLIN) != 0) {
      uint64_t count;
      while (read(wake_, &count, sizeof count) < 0 && errno == EINTR) {
      }
    }
    const short revents = events != 0 ? fds[1].revents : 0;
    bool gone = false;
    if ((revents & POLLIN) != 0) {
      const ssize_t n = read(fd_, block, sizeof block);
      if (n > 0) {
        std::vector<uint8_t> chunk(block, block + n);
        std::vector<uint8_t> answer;
        if (responder_) answer = responder_(chunk);
        std::lock_guard<std::mutex> lock(mutex_);
        received_.insert(received_.end(), chunk.begin(), chunk.end());
        outbox_.insert(outbox_.end(), answer.begin(), answer.end());
        changed_.notify_all();
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        gone = true;
      }
    } else if ((revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
      gone = true;
    }
    if (!gone && (revents & POLLOUT) != 0) {
      std::vector<uint8_t> chunk;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        chunk.assign(outbox_.begin(),
                     outbox_.begin() + std::min(outbox_.size(), sizeof block));
      }
      const ssize_t n = write(fd_, chunk.data(), chunk.size());
      if (n > 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        outbox_.erase(outbox_.begin(), outbox_.begin() + n);
        changed_.notify_all();
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        gone = true;
      }
    }
    if (gone) {
      std::lock_guard<std::mutex> lock(mutex_);
      gone_ = true;
      changed_.notify_all();
    }
  }
}

}  // namespace q7k
