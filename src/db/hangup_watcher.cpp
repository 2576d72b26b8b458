#include "db/hangup_watcher.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>

namespace talwen::db {

HangupWatcher::~HangupWatcher() {
  if (thread_.joinable()) {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(wake_fd_, &one, sizeof one);
    thread_.join();
  }
  for (const int fd : {epoll_fd_, wake_fd_}) {
    if (fd >= 0) ::close(fd);
  }
}

uint64_t HangupWatcher::Watch(ClientWatch& client, std::function<void()> cancel) {
  const int fd = client.fd();
  if (fd < 0) return 0;
  std::lock_guard<std::mutex> lock(mutex_);
  if (epoll_fd_ < 0) {
    epoll_fd_ = ::epoll_create1(EPOLL_CLOEXEC);
    wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    epoll_event wake{EPOLLIN, {.u64 = 0}};
    if (epoll_fd_ < 0 || wake_fd_ < 0 ||
        ::epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, wake_fd_, &wake) != 0) {
      return 0;  // nothing can be watched; tried again by the next registration
    }
    thread_ = std::thread([this] { Run(); });
  }
  const uint64_t id = ++last_id_;
  epoll_event event{EPOLLRDHUP | EPOLLONESHOT, {.u64 = id}};
  if (::epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, fd, &event) != 0) return 0;
  entries_.emplace(id, Entry{&client, fd, std::move(cancel)});
  return id;
}

void HangupWatcher::Unwatch(uint64_t id) {
  if (id == 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  const auto it = entries_.find(id);
  if (it == entries_.end()) return;
  ::epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, it->second.fd, nullptr);
  entries_.erase(it);
}

void HangupWatcher::Run() {
  for (;;) {
    epoll_event events[16];
    const int n = ::epoll_wait(epoll_fd_, events, 16, -1);
    if (n < 0 && errno != EINTR) return;
    for (int i = 0; i < n; ++i) {
      // Copied out: epoll_event is packed, its fields unaligned.
      const uint64_t id = events[i].data.u64;
      const uint32_t what = events[i].events;
      if (id == 0) return;  // the watcher ends
      std::lock_guard<std::mutex> lock(mutex_);
      // An event of a registration that has ended meanwhile finds no entry.
      const auto it = entries_.find(id);
      if (it == entries_.end()) continue;
      if (it->second.client->Judge(static_cast<short>(what))) it->second.cancel();
    }
  }
}

}  // namespace talwen::db
