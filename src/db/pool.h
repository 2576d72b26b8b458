// Pooling of database connections, for any provider.
//
// LinkPool keeps the links (physical connections) of one connection target and bounds how many
// requests use them at once: a request enters when it starts (waiting for a turn while POOL
// SIZE requests hold one), takes an idle link or opens one, and leaves with its link when it
// ends. Links are handed out most recently used first, so a quiet period leaves the least used
// ones to age out. PoolReaper closes the links idle for too long, on a thread of its own. Both
// are thread-safe.
//
// A Link type needs `bool Reusable()` (can this idle link serve another request? It may look
// at the socket), `bool Returnable() const` (may the link go back to the idle ones? no I/O:
// the check when it is taken again is what keeps a dead link from being handed out), and a
// member `std::chrono::steady_clock::time_point idle_since`.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/ini.h"
#include "db/client_watch.h"
#include "db/connection.h"
#include "db/turn_waiters.h"

namespace talwen::db {

struct PoolSettings {
  int size = 16;                        // requests using a target at once, and idle links
                                        // kept; 0 = no pooling and no bound
  std::chrono::seconds idle_time{300};  // an idle link is closed after this; 0 = never
  std::chrono::seconds wait{5};         // the longest wait for a turn; then kErrorBusy
};

// The pool settings of the INI file's [GENERAL] section: POOL SIZE, POOL IDLE SECONDS and
// POOL WAIT SECONDS. A missing, empty, malformed or negative value gives the default.
PoolSettings ReadPoolSettings(const IniFile* ini);

// One pool as the metrics show it.
struct PoolStats {
  std::string target;          // the server, database and user; never a password
  int size = 0;                // POOL SIZE as last applied
  size_t in_use = 0;           // requests holding a turn
  size_t idle = 0;             // idle links kept
  size_t waiting = 0;          // requests waiting for a turn
  uint64_t wait_timeouts = 0;  // requests refused after waiting POOL WAIT SECONDS
};

// What to answer a request that found no turn in time.
[[noreturn]] void ThrowBusy(std::chrono::seconds waited);

template <typename Link>
class LinkPool {
 public:
  // Wait for a turn while settings.size requests hold one (not at all when it is 0), then take
  // an idle link as Take does (the first under the same lock). Throws DbError (kErrorBusy)
  // when no turn came within settings.wait.
  //
  // With a waiter (db/client_watch.h), the wait leaves the thread to the waiter's other
  // requests, those holding turns among them (db/turn_waiters.h).
  std::unique_ptr<Link> Enter(const PoolSettings& settings, Waiter* waiter = nullptr) {
    std::unique_ptr<Link> link;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      size_ = settings.size;
      const size_t size = settings.size > 0 ? static_cast<size_t>(settings.size) : SIZE_MAX;
      if (in_use_ >= size) {
        ++waiting_;
        const bool turn = turns_.Wait(lock, waiter, TurnWaiters::Clock::now() + settings.wait,
                                      [&] { return in_use_ < size; });
        --waiting_;
        if (!turn) {
          ++wait_timeouts_;
          lock.unlock();
          ThrowBusy(settings.wait);
        }
      }
      ++in_use_;
      if (idle_.empty()) return nullptr;
      link = std::move(idle_.back());
      idle_.pop_back();
    }
    if (link->Reusable()) return link;
    link.reset();
    return Take();
  }

  // End a turn: keep the link for the next request, or close it (none, not returnable, pool
  // full or off).
  void Leave(std::unique_ptr<Link> link, const PoolSettings& settings) {
    if (link && (settings.size <= 0 || !link->Returnable())) link.reset();
    if (link) link->idle_since = std::chrono::steady_clock::now();
    std::unique_ptr<Link> surplus;  // closed after the lock is released
    std::lock_guard<std::mutex> lock(mutex_);
    if (link) {
      idle_.push_back(std::move(link));
      if (idle_.size() > static_cast<size_t>(settings.size)) {
        surplus = std::move(idle_.front());  // the longest idle goes
        idle_.erase(idle_.begin());
      }
    }
    if (in_use_ > 0) --in_use_;
    if (waiting_ > 0) turns_.NotifyOne();
  }

  // An idle link that can still serve, or nullptr when there is none (open one then).
  std::unique_ptr<Link> Take() {
    for (;;) {
      std::unique_ptr<Link> link;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (idle_.empty()) return nullptr;
        link = std::move(idle_.back());
        idle_.pop_back();
      }
      if (link->Reusable()) return link;  // else it closes here, outside the lock
    }
  }

  // Close the links idle for longer than the settings allow, and those beyond the size.
  void ReleaseIdle(std::chrono::steady_clock::time_point now, const PoolSettings& settings) {
    std::vector<std::unique_ptr<Link>> expired;
    std::lock_guard<std::mutex> lock(mutex_);
    const size_t keep = settings.size > 0 ? static_cast<size_t>(settings.size) : 0;
    auto first_kept = idle_.begin();
    if (settings.idle_time.count() > 0) {
      while (first_kept != idle_.end() && now - (*first_kept)->idle_since >= settings.idle_time) {
        ++first_kept;
      }
    }
    if (static_cast<size_t>(idle_.end() - first_kept) > keep) first_kept = idle_.end() - keep;
    std::move(idle_.begin(), first_kept, std::back_inserter(expired));
    idle_.erase(idle_.begin(), first_kept);
  }

  // Close every idle link (the server was found gone: the others are likely gone too).
  void Clear() {
    std::vector<std::unique_ptr<Link>> idle;
    std::lock_guard<std::mutex> lock(mutex_);
    idle.swap(idle_);
  }

  size_t idle_count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return idle_.size();
  }

  // The pool's state, under the name target.
  PoolStats Stats(std::string target) {
    std::lock_guard<std::mutex> lock(mutex_);
    return {std::move(target), size_, in_use_, idle_.size(), waiting_, wait_timeouts_};
  }

 private:
  std::mutex mutex_;
  TurnWaiters turns_;
  std::vector<std::unique_ptr<Link>> idle_;  // the most recently given back last
  int size_ = PoolSettings{}.size;
  size_t in_use_ = 0;
  size_t waiting_ = 0;
  uint64_t wait_timeouts_ = 0;
};

// Calls `release` about every half idle time (at least every second, at most every minute)
// from its own thread, started by Start() and stopped by the destructor.
class PoolReaper {
 public:
  PoolReaper(std::function<PoolSettings()> settings, std::function<void()> release)
      : settings_(std::move(settings)), release_(std::move(release)) {}
  ~PoolReaper();
  PoolReaper(const PoolReaper&) = delete;
  PoolReaper& operator=(const PoolReaper&) = delete;

  // Start the thread, unless it runs already.
  void Start();

 private:
  void Run();

  std::function<PoolSettings()> settings_;
  std::function<void()> release_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace talwen::db
