// Pooling of database connections, for any provider.
//
// IdlePool keeps the idle links (physical connections) of one connection target: a request
// takes one when it starts and gives it back when it ends. Links are handed out most recently
// used first, so a quiet period leaves the least used ones to age out. PoolReaper closes the
// links idle for too long, on a thread of its own. Both are thread-safe.
//
// A Link type needs `bool Reusable()` (can it serve another request?) and a member
// `std::chrono::steady_clock::time_point idle_since`.
#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "base/ini.h"

namespace talwen::db {

struct PoolSettings {
  int size = 16;                        // idle links kept per target; 0 = no pooling
  std::chrono::seconds idle_time{300};  // an idle link is closed after this; 0 = never
};

// The pool settings of the INI file's [GENERAL] section: POOL SIZE and POOL IDLE SECONDS. A
// missing, empty, malformed or negative value gives the default.
PoolSettings ReadPoolSettings(const IniFile* ini);

template <typename Link>
class IdlePool {
 public:
  // An idle link that can still serve, or nullptr when there is none.
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

  // Keep the link for the next request, or close it (not reusable, pool full).
  void GiveBack(std::unique_ptr<Link> link, const PoolSettings& settings) {
    if (!link || settings.size <= 0 || !link->Reusable()) return;
    link->idle_since = std::chrono::steady_clock::now();
    std::unique_ptr<Link> surplus;  // closed after the lock is released
    std::lock_guard<std::mutex> lock(mutex_);
    idle_.push_back(std::move(link));
    if (idle_.size() > static_cast<size_t>(settings.size)) {
      surplus = std::move(idle_.front());  // the longest idle goes
      idle_.erase(idle_.begin());
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
  void Clear() { ReleaseIdle(std::chrono::steady_clock::now(), {0, {}}); }

  size_t idle_count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return idle_.size();
  }

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<Link>> idle_;  // the most recently given back last
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
