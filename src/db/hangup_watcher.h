// HangupWatcher: one thread watching the clients of calls that cannot watch them themselves,
// because they wait inside a blocking driver call; when a client goes, it runs that call's
// cancel (ODBC's SQLCancel, made for being called from another thread).
//
// A call registers its client for as long as a statement runs. The thread starts with the
// first registration and ends with the watcher. Thread-safe; a registration costs two epoll_ctl
// calls and a short lock.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "db/client_watch.h"

namespace talwen::db {

class HangupWatcher {
 public:
  HangupWatcher() = default;
  ~HangupWatcher();
  HangupWatcher(const HangupWatcher&) = delete;
  HangupWatcher& operator=(const HangupWatcher&) = delete;

  // Watch client until Unwatch: when it has gone (ClientWatch::Judge), cancel runs once, on
  // the watcher's thread. Returns 0 when there is nothing to watch.
  uint64_t Watch(ClientWatch& client, std::function<void()> cancel);
  // End a registration; once it returns, its cancel does not run (nor is running).
  void Unwatch(uint64_t id);

 private:
  struct Entry {
    ClientWatch* client;
    int fd;
    std::function<void()> cancel;
  };
  void Run();

  std::mutex mutex_;  // held while a cancel runs
  std::unordered_map<uint64_t, Entry> entries_;
  uint64_t last_id_ = 0;
  int epoll_fd_ = -1;
  int wake_fd_ = -1;
  std::thread thread_;
};

}  // namespace talwen::db
