// TurnWaiters: the requests waiting for a turn (a pooled connection, a call slot), woken one at
// a time as turns end.
//
// A request that waits on its own thread sleeps on a condition variable. One that waits
// through a Waiter (db/client_watch.h: a host serving many requests on one thread) waits for an
// eventfd of its own to become readable, which leaves its thread to the others; the turn that
// ends writes to the first such eventfd in line. Every method is called with the owner's mutex
// held (Wait releases it while it waits).
#pragma once

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "db/client_watch.h"

namespace talwen::db {

class TurnWaiters {
 public:
  using Clock = std::chrono::steady_clock;

  // Wait until ready() (asked with the lock held) or the deadline; answers ready().
  template <typename Ready>
  bool Wait(std::unique_lock<std::mutex>& lock, Waiter* waiter, Clock::time_point deadline,
            Ready ready) {
    if (waiter == nullptr) return cv_.wait_until(lock, deadline, ready);
    if (ready()) return true;
    const int fd = take_fd();
    while (!ready()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) break;
      if (fd >= 0) fds_.push_back(fd);
      lock.unlock();
      pollfd turn{fd, POLLIN, 0};
      // Without an eventfd, a look every millisecond.
      waiter->Poll(fd >= 0 ? &turn : nullptr, fd >= 0 ? 1 : 0,
                   fd >= 0 ? static_cast<int>(left.count()) : 1);
      lock.lock();
      if (fd >= 0) {
        fds_.erase(std::remove(fds_.begin(), fds_.end(), fd), fds_.end());
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = ::read(fd, &count, sizeof(count));
      }
    }
    give_back_fd(fd);
    return ready();
  }

  // A turn ended: wake the first waiter in line (and a sleeping thread, if any).
  void NotifyOne() {
    if (!fds_.empty()) {
      const uint64_t one = 1;
      [[maybe_unused]] const ssize_t n = ::write(fds_.front(), &one, sizeof(one));
      fds_.pop_front();
    }
    cv_.notify_one();
  }

 private:
  // A waiter's eventfd, kept by its thread for the next wait: it is read empty, and out of
  // line, whenever a wait ends, so a kept one carries nothing over.
  struct SpareFds {
    std::vector<int> fds;
    ~SpareFds() {
      for (const int fd : fds) ::close(fd);
    }
  };
  static SpareFds& spare() {
    thread_local SpareFds spare;
    return spare;
  }
  static int take_fd() {
    auto& fds = spare().fds;
    if (fds.empty()) return ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    const int fd = fds.back();
    fds.pop_back();
    return fd;
  }
  static void give_back_fd(int fd) {
    if (fd < 0) return;
    auto& fds = spare().fds;
    if (fds.size() < kSpareFds) {
      fds.push_back(fd);
    } else {
      ::close(fd);
    }
  }
  static constexpr size_t kSpareFds = 64;

  std::condition_variable cv_;
  std::deque<int> fds_;  // of the waiters through a Waiter, in line
};

}  // namespace talwen::db
