// Connections of the HTTP gateway: the stream one connection is read and written through,
// and the scheduler that shares a fixed set of worker threads among all open connections.
//
// A worker serves one request at a time. Between requests an idle keep-alive connection is
// parked in an epoll set and costs no thread, so many terminals can keep their connections
// open while a few workers (as many as the database pool can serve) do the work. A parked
// connection comes back to the workers when its next request arrives, in arrival order.
#pragma once

#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

namespace talwen::host {

using Clock = std::chrono::steady_clock;

struct StreamLimits {
  size_t max_header_bytes = 16 * 1024;  // request line and headers together
  size_t max_body_bytes = 64 * 1024;    // bytes after the headers, chunk framing included
  std::chrono::milliseconds read_timeout{10'000};   // a whole request must arrive within it
  std::chrono::milliseconds write_timeout{10'000};  // each write must complete within it
};

// The byte stream of one client connection, with the gateway's limits applied as the HTTP
// library reads it: the request line and headers may not exceed max_header_bytes and must
// arrive within read_timeout of the request's start; past the body limit reads fail. When
// the headers are too large or too slow the stream answers the client itself (431 or 408)
// and refuses further reads and writes. Reads are buffered; a pipelined request stays in the
// buffer for the next turn. Used by one thread at a time.
class ConnectionStream : public httplib::Stream {
 public:
  // Take ownership of a connected socket.
  ConnectionStream(int fd, const StreamLimits& limits);
  ~ConnectionStream() override;
  ConnectionStream(const ConnectionStream&) = delete;
  ConnectionStream& operator=(const ConnectionStream&) = delete;

  // Start reading a new request: reset its counters and start its deadline.
  void begin_request();
  // Are bytes of a next request already buffered?
  bool buffered() const { return read_pos_ < read_end_; }
  // May the connection carry another request? False after a failed read or a refused write.
  bool usable() const { return !read_failed_ && !write_refused_; }
  // The status the stream answered with itself (431, 408), 0 when it did not answer.
  int answered_status() const { return answered_status_; }
  size_t answered_body_bytes() const { return answered_body_bytes_; }

  const std::string& peer() const { return peer_; }
  int peer_port() const { return peer_port_; }
  int fd() const { return fd_; }

  // Write a complete response directly (503 for a refused connection); does not wait
  // longer than the write time-out. Returns the body's size.
  static size_t WriteSimpleResponse(int fd, int status, std::string_view reason,
                                    std::string_view body, Clock::time_point deadline);

  // httplib::Stream
  bool is_readable() const override;
  bool is_writable() const override;
  ssize_t read(char* ptr, size_t size) override;
  ssize_t write(const char* ptr, size_t size) override;
  void get_remote_ip_and_port(std::string& ip, int& port) const override;
  void get_local_ip_and_port(std::string& ip, int& port) const override;
  int socket() const override { return fd_; }

 private:
  // Wait for the socket until the deadline; true when ready.
  bool wait(short events, Clock::time_point deadline) const;
  // Refill the buffer: > 0 bytes, 0 at end of stream, -1 on error, kTimedOut.
  static constexpr ssize_t kTimedOut = -2;
  ssize_t fill();
  // Account for n bytes handed to the library; false when a limit is passed.
  bool consume(const char* bytes, size_t n);
  // Answer the client and refuse everything after.
  void answer(int status, std::string_view reason);

  int fd_;
  StreamLimits limits_;
  std::string peer_, local_;
  int peer_port_ = 0, local_port_ = 0;

  std::vector<char> buffer_;  // read buffer; [read_pos_, read_end_) not yet consumed
  size_t read_pos_ = 0;
  size_t read_end_ = 0;

  // The request being read.
  Clock::time_point deadline_;
  bool in_headers_ = true;
  int header_state_ = 0;  // progress towards the blank line that ends the headers
  size_t header_bytes_ = 0;
  size_t body_bytes_ = 0;

  bool read_failed_ = false;
  bool write_refused_ = false;
  int answered_status_ = 0;
  size_t answered_body_bytes_ = 0;
};

// One open client connection.
struct Connection {
  Connection(int fd, const StreamLimits& limits) : stream(fd, limits) {}
  ConnectionStream stream;
  size_t requests = 0;            // requests served so far
  Clock::time_point idle_until;   // while parked: when it is closed for idleness
  Clock::time_point ready_since;  // when its current request was seen arriving
  bool registered = false;        // known to the epoll set
};

// The peer address of a socket as the access log shows it ("" when unknown).
std::string PeerAddress(int fd);

struct SchedulerLimits {
  size_t threads = 16;
  size_t max_connections = 512;                     // open: parked, waiting and being served
  std::chrono::milliseconds first_request{10'000};  // a new connection's wait for its request
  std::chrono::milliseconds keep_alive{5'000};      // an idle connection's wait for the next
  size_t requests_per_connection = 1000;
};

// Shares the worker threads among the open connections. Thread-safe.
class ConnectionScheduler {
 public:
  // Serve one request of the connection; `last` asks for the connection to be closed after
  // it. Returns whether the connection stays open.
  using Serve = std::function<bool(Connection& connection, bool last)>;
  // Refuse a connection over the limit (answer and log it); the socket is closed after.
  using Refuse = std::function<void(int fd)>;

  ConnectionScheduler(const SchedulerLimits& limits, const StreamLimits& stream_limits, Serve serve,
                      Refuse refuse);
  ~ConnectionScheduler();
  ConnectionScheduler(const ConnectionScheduler&) = delete;
  ConnectionScheduler& operator=(const ConnectionScheduler&) = delete;

  // Start the workers and the idle watcher. Throws std::system_error.
  void start();
  // Take an accepted socket. Over the connection limit, or once stopping, it is refused
  // and closed at once.
  void adopt(int fd);
  // Close idle connections, answer the requests already received (with "Connection: close"),
  // then stop every thread. Returns when all connections are closed.
  void stop();
  bool stopping() const { return stopping_.load(); }
  size_t open_connections() const;

 private:
  void worker_loop();
  void watcher_loop();
  // Park a connection until its next request or its idle limit. Called with mutex_ held.
  void park_locked(std::unique_ptr<Connection> connection, std::chrono::milliseconds wait);
  void close_locked(std::unique_ptr<Connection> connection);
  void wake_watcher();

  const SchedulerLimits limits_;
  const StreamLimits stream_limits_;
  const Serve serve_;
  const Refuse refuse_;

  int epoll_fd_ = -1;
  int wake_fd_ = -1;  // eventfd: stops the watcher's wait
  std::atomic<bool> stopping_{false};

  mutable std::mutex mutex_;
  std::condition_variable ready_cv_;
  std::deque<std::unique_ptr<Connection>> ready_;                // a request is waiting
  std::unordered_map<int, std::unique_ptr<Connection>> parked_;  // idle, by socket
  size_t open_ = 0;                                              // every connection held

  std::vector<std::thread> workers_;
  std::thread watcher_;
};

}  // namespace talwen::host
