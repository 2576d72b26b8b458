#include "host/http_connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "host/networks.h"

namespace talwen::host {
namespace {

constexpr size_t kReadBufferSize = 8 * 1024;
// How much unread input a closing connection discards so that the client sees the answer
// rather than a reset.
constexpr size_t kDrainOnClose = 64 * 1024;
// How often the watcher looks for idle connections past their time.
constexpr int kWatchIntervalMs = 50;

int milliseconds_until(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 60'000));
}

// The address and port of a socket's end, as text.
void describe(int fd, bool peer, std::string& address, int& port) {
  sockaddr_storage storage{};
  socklen_t length = sizeof(storage);
  auto* sa = reinterpret_cast<sockaddr*>(&storage);
  const int rc = peer ? ::getpeername(fd, sa, &length) : ::getsockname(fd, sa, &length);
  if (rc != 0) return;
  char text[INET6_ADDRSTRLEN] = {};
  if (storage.ss_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&storage);
    ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof(text));
    port = ntohs(in->sin_port);
  } else if (storage.ss_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&storage);
    ::inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof(text));
    port = ntohs(in6->sin6_port);
  } else {
    return;
  }
  address = NormalizeAddress(text);
}

bool wait_fd(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int rc = ::poll(&p, 1, milliseconds_until(deadline));
    if (rc > 0) return true;
    if (rc == 0) return false;
    if (errno != EINTR) return false;
  }
}

// Send all of data before the deadline.
bool send_all(int fd, const char* data, size_t size, Clock::time_point deadline) {
  size_t sent = 0;
  while (sent < size) {
    const ssize_t n = ::send(fd, data + sent, size - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!wait_fd(fd, POLLOUT, deadline)) return false;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string PeerAddress(int fd) {
  std::string address;
  int port = 0;
  describe(fd, true, address, port);
  return address;
}

// ---------------------------------------------------------------------------------------------
// ConnectionStream

ConnectionStream::ConnectionStream(int fd, const StreamLimits& limits)
    : fd_(fd), limits_(limits), buffer_(kReadBufferSize) {
  // Replies are small and written as headers then body: do not hold the body back.
  const int on = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
  describe(fd_, true, peer_, peer_port_);
  describe(fd_, false, local_, local_port_);
  begin_request();
}

ConnectionStream::~ConnectionStream() {
  // Close gently: end our side, discard what the client already sent (closing with unread
  // input would reset the connection and could destroy the answer in flight), then close.
  ::shutdown(fd_, SHUT_WR);
  size_t drained = 0;
  while (drained < kDrainOnClose) {
    const ssize_t n = ::recv(fd_, buffer_.data(), buffer_.size(), MSG_DONTWAIT);
    if (n <= 0) break;
    drained += static_cast<size_t>(n);
  }
  ::close(fd_);
}

void ConnectionStream::begin_request() {
  deadline_ = Clock::now() + limits_.read_timeout;
  in_headers_ = true;
  header_state_ = 0;
  header_bytes_ = 0;
  body_bytes_ = 0;
}

bool ConnectionStream::wait(short events, Clock::time_point deadline) const {
  return wait_fd(fd_, events, deadline);
}

bool ConnectionStream::is_readable() const {
  return buffered() || (!read_failed_ && wait(POLLIN, deadline_));
}

bool ConnectionStream::is_writable() const {
  return !write_refused_ && wait(POLLOUT, Clock::now() + limits_.write_timeout);
}

ssize_t ConnectionStream::fill() {
  for (;;) {
    if (!wait(POLLIN, deadline_)) return kTimedOut;
    const ssize_t n = ::recv(fd_, buffer_.data(), buffer_.size(), MSG_DONTWAIT);
    if (n >= 0) {
      read_pos_ = 0;
      read_end_ = static_cast<size_t>(n);
      return n;
    }
    if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) return -1;
  }
}

bool ConnectionStream::consume(const char* bytes, size_t n) {
  size_t i = 0;
  // Follow the request line and headers up to the blank line (CR LF at a line's start).
  for (; i < n && in_headers_; ++i) {
    if (++header_bytes_ > limits_.max_header_bytes) {
      answer(431, "Request Header Fields Too Large");
      return false;
    }
    const char c = bytes[i];
    switch (header_state_) {
      case 1:  // at a line's start
        header_state_ = c == '\r' ? 2 : (c == '\n' ? 1 : 0);
        break;
      case 2:  // a line that began with CR
        if (c == '\n') {
          in_headers_ = false;
        } else {
          header_state_ = 0;
        }
        break;
      default:  // inside a line
        if (c == '\n') header_state_ = 1;
        break;
    }
  }
  body_bytes_ += n - i;
  if (body_bytes_ > limits_.max_body_bytes) {
    read_failed_ = true;
    return false;
  }
  return true;
}

ssize_t ConnectionStream::read(char* ptr, size_t size) {
  if (read_failed_) return -1;
  if (!buffered()) {
    const ssize_t n = fill();
    if (n == 0) return 0;
    if (n < 0) {
      // A request that started but did not arrive in time is told so.
      if (n == kTimedOut && in_headers_ && header_bytes_ > 0) {
        answer(408, "Request Timeout");
      }
      read_failed_ = true;
      return -1;
    }
  }
  const size_t take = std::min(size, read_end_ - read_pos_);
  std::memcpy(ptr, buffer_.data() + read_pos_, take);
  read_pos_ += take;
  if (!consume(ptr, take)) return -1;
  return static_cast<ssize_t>(take);
}

ssize_t ConnectionStream::write(const char* ptr, size_t size) {
  if (write_refused_) return -1;
  if (!send_all(fd_, ptr, size, Clock::now() + limits_.write_timeout)) {
    write_refused_ = true;
    return -1;
  }
  return static_cast<ssize_t>(size);
}

void ConnectionStream::get_remote_ip_and_port(std::string& ip, int& port) const {
  ip = peer_;
  port = peer_port_;
}

void ConnectionStream::get_local_ip_and_port(std::string& ip, int& port) const {
  ip = local_;
  port = local_port_;
}

void ConnectionStream::answer(int status, std::string_view reason) {
  std::string body = std::to_string(status) + " " + std::string(reason) + "\n";
  WriteSimpleResponse(fd_, status, reason, body, Clock::now() + limits_.write_timeout);
  answered_status_ = status;
  answered_body_bytes_ = body.size();
  read_failed_ = true;
  write_refused_ = true;
}

size_t ConnectionStream::WriteSimpleResponse(int fd, int status, std::string_view reason,
                                             std::string_view body, Clock::time_point deadline) {
  std::string text = "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) +
                     "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                     std::to_string(body.size()) + "\r\nConnection: close\r\n";
  if (status == 503) text += "Retry-After: 1\r\n";
  text += "\r\n";
  text += body;
  send_all(fd, text.data(), text.size(), deadline);
  return body.size();
}

// ---------------------------------------------------------------------------------------------
// ConnectionScheduler

ConnectionScheduler::ConnectionScheduler(const SchedulerLimits& limits,
                                         const StreamLimits& stream_limits, Serve serve,
                                         Refuse refuse)
    : limits_(limits),
      stream_limits_(stream_limits),
      serve_(std::move(serve)),
      refuse_(std::move(refuse)) {}

ConnectionScheduler::~ConnectionScheduler() {
  stop();
}

void ConnectionScheduler::start() {
  epoll_fd_ = ::epoll_create1(EPOLL_CLOEXEC);
  if (epoll_fd_ < 0) throw std::system_error(errno, std::system_category(), "epoll_create1");
  wake_fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wake_fd_ < 0) throw std::system_error(errno, std::system_category(), "eventfd");
  epoll_event event{};
  event.events = EPOLLIN;
  event.data.fd = wake_fd_;
  if (::epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, wake_fd_, &event) != 0) {
    throw std::system_error(errno, std::system_category(), "epoll_ctl");
  }
  watcher_ = std::thread([this] { watcher_loop(); });
  const size_t threads = std::max<size_t>(1, limits_.threads);
  for (size_t i = 0; i < threads; ++i) workers_.emplace_back([this] { worker_loop(); });
}

void ConnectionScheduler::adopt(int fd) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (stopping_ || open_ >= limits_.max_connections) {
    lock.unlock();
    if (!stopping_ && refuse_) refuse_(fd);
    ::close(fd);
    return;
  }
  ++open_;
  park_locked(std::make_unique<Connection>(fd, stream_limits_), limits_.first_request);
}

void ConnectionScheduler::park_locked(std::unique_ptr<Connection> connection,
                                      std::chrono::milliseconds wait) {
  connection->idle_until = Clock::now() + wait;
  const int fd = connection->stream.fd();
  const int op = connection->registered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
  connection->registered = true;
  epoll_event event{};
  event.events = EPOLLIN | EPOLLRDHUP | EPOLLONESHOT;
  event.data.fd = fd;
  // In the map before it is armed, so the watcher always finds what fires.
  auto& slot = parked_[fd];
  slot = std::move(connection);
  if (::epoll_ctl(epoll_fd_, op, fd, &event) != 0) {
    close_locked(std::move(slot));
    parked_.erase(fd);
  }
}

void ConnectionScheduler::close_locked(std::unique_ptr<Connection> connection) {
  if (!connection) return;
  connection.reset();
  --open_;
}

void ConnectionScheduler::wake_watcher() {
  if (wake_fd_ < 0) return;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(wake_fd_, &one, sizeof(one));
}

void ConnectionScheduler::watcher_loop() {
  epoll_event events[64];
  auto next_sweep = Clock::now();
  for (;;) {
    const int n = ::epoll_wait(epoll_fd_, events, 64, kWatchIntervalMs);
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) {
      for (auto& [fd, connection] : parked_) close_locked(std::move(connection));
      parked_.clear();
      return;
    }
    for (int i = 0; i < n; ++i) {
      const int fd = events[i].data.fd;
      if (fd == wake_fd_) {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t r = ::read(wake_fd_, &count, sizeof(count));
        continue;
      }
      const auto it = parked_.find(fd);
      if (it == parked_.end()) continue;
      it->second->ready_since = Clock::now();
      ready_.push_back(std::move(it->second));
      parked_.erase(it);
      ready_cv_.notify_one();
    }
    const auto now = Clock::now();
    if (now < next_sweep) continue;
    next_sweep = now + std::chrono::milliseconds(kWatchIntervalMs);
    for (auto it = parked_.begin(); it != parked_.end();) {
      if (it->second->idle_until <= now) {
        close_locked(std::move(it->second));
        it = parked_.erase(it);
      } else {
        ++it;
      }
    }
  }
}

void ConnectionScheduler::worker_loop() {
  for (;;) {
    std::unique_ptr<Connection> connection;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      ready_cv_.wait(lock, [this] { return !ready_.empty() || stopping_; });
      if (ready_.empty()) return;
      connection = std::move(ready_.front());
      ready_.pop_front();
    }
    ++connection->requests;
    const bool last = connection->requests >= limits_.requests_per_connection || stopping_;
    bool keep = false;
    try {
      keep = serve_(*connection, last) && !last;
    } catch (...) {
      keep = false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (keep && !stopping_ && connection->stream.usable()) {
      if (connection->stream.buffered()) {
        connection->ready_since = Clock::now();
        ready_.push_back(std::move(connection));
        ready_cv_.notify_one();
      } else {
        park_locked(std::move(connection), limits_.keep_alive);
      }
    } else {
      close_locked(std::move(connection));
    }
  }
}

void ConnectionScheduler::stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_watcher();
  ready_cv_.notify_all();
  if (watcher_.joinable()) watcher_.join();
  for (auto& worker : workers_) {
    if (worker.joinable()) worker.join();
  }
  workers_.clear();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& connection : ready_) close_locked(std::move(connection));
    ready_.clear();
    for (auto& [fd, connection] : parked_) close_locked(std::move(connection));
    parked_.clear();
  }
  if (epoll_fd_ >= 0) ::close(epoll_fd_);
  if (wake_fd_ >= 0) ::close(wake_fd_);
  epoll_fd_ = wake_fd_ = -1;
}

size_t ConnectionScheduler::open_connections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_;
}

}  // namespace talwen::host
