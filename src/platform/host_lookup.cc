#include "platform/host_lookup.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/network_socket.h"

namespace q7k {

std::shared_ptr<const HostAddresses> LookUpHost(const PortUrl& url,
                                                int64_t deadlineMs) {
  auto addresses = std::make_shared<HostAddresses>(url);
  // An address needs no name server: taken here, at once.
  SystemLookUp(true, addresses.get());
  if (addresses->result == 0) return addresses;
  struct Done {
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
  };
  auto done = std::make_shared<Done>();
  KeepLibraryLoaded();
  try {
    std::thread([done, addresses] {
      SystemLookUp(false, addresses.get());
      std::lock_guard<std::mutex> lock(done->mutex);
      done->done = true;
      done->changed.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return nullptr;  // no thread to be had
  }
  std::unique_lock<std::mutex> lock(done->mutex);
  const bool finished = done->changed.wait_for(
      lock, std::chrono::milliseconds(NetworkRemainingMs(deadlineMs)),
      [&] { return done->done; });
  return finished && addresses->result == 0 ? addresses : nullptr;
}

}  // namespace q7k
