// ClientWatch: the client a call answers, watched while the call waits for its database.
//
// A host hands one to the engine with each request: the socket of the client waiting for the
// answer. A provider that waits for its server polls that socket beside its own (for kEvents:
// hang-up and errors come unasked) and hands what poll reported to Judge; when the
// client has gone, the provider cancels the statement and fails the call with
// kErrorCancelled, and fails every later statement of the request the same way before it
// reaches the database. After Judge has decided, fd() is -1: nothing more to watch.
//
// A client has gone when its connection is reset or closed both ways, or when it ended its
// sending side with nothing sent after its request. A client that sent further requests
// behind this one (pipelining) waits for their answers, and is not watched any more for this
// call. The fd is polled by one thread at a time; gone() may be read from any thread.
#pragma once

#include <poll.h>

#include <atomic>
#include <functional>

namespace talwen::db {

// How a call waits for its sockets. A host that runs many requests on one thread hands one
// that lets the thread serve the others meanwhile; without one, a wait is poll(2) itself.
class Waiter {
 public:
  // As poll(2).
  virtual int Poll(pollfd* fds, nfds_t count, int timeout_ms) = 0;
  // Run work, which blocks its thread (a driver without a socket to wait on), so that the
  // others go on meanwhile. Exceptions of work reach the caller.
  virtual void Aside(const std::function<void()>& work) = 0;

 protected:
  ~Waiter() = default;
};

class ClientWatch {
 public:
  explicit ClientWatch(int fd = -1, Waiter* waiter = nullptr) : fd_(fd), waiter_(waiter) {}
  ClientWatch(const ClientWatch&) = delete;
  ClientWatch& operator=(const ClientWatch&) = delete;

  // What to poll the socket for: the client's end of sending, or more bytes (a request sent
  // behind this one, which ends the watch). A gateway keeps the socket armed for the same
  // between requests, so a watch costs it nothing more.
  static constexpr short kEvents = POLLIN | POLLRDHUP;
  // The socket to poll for kEvents; -1 when there is nothing to watch.
  int fd() const { return fd_.load(std::memory_order_relaxed); }
  // Judge what poll reported for fd(): true when the client has just been found gone.
  bool Judge(short revents);
  // Has the client gone? (Set by Judge, or by MarkGone.)
  bool gone() const { return gone_.load(std::memory_order_relaxed); }
  // How the request's waits are made (nullptr: poll(2)).
  Waiter* waiter() const { return waiter_; }
  // The host found the client gone on its own.
  void MarkGone() {
    gone_ = true;
    fd_ = -1;
  }

 private:
  std::atomic<int> fd_;
  std::atomic<bool> gone_{false};
  Waiter* const waiter_;
};

// poll(2) through waiter, or poll(2) itself when there is none.
inline int PollWith(Waiter* waiter, pollfd* fds, nfds_t count, int timeout_ms) {
  return waiter ? waiter->Poll(fds, count, timeout_ms) : ::poll(fds, count, timeout_ms);
}

// Run work aside through waiter, or here when there is none.
inline void AsideWith(Waiter* waiter, const std::function<void()>& work) {
  if (waiter) {
    waiter->Aside(work);
  } else {
    work();
  }
}

}  // namespace talwen::db
