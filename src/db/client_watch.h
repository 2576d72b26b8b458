// ClientWatch: the client a call answers, watched while the call waits for its database.
//
// A host hands one to the engine with each request: the socket of the client waiting for the
// answer. A provider that waits for its server polls that socket beside its own (for
// POLLRDHUP: hang-up and errors come unasked) and hands what poll reported to Judge; when the
// client has gone, the provider cancels the statement and fails the call with
// kErrorCancelled, and fails every later statement of the request the same way before it
// reaches the database. After Judge has decided, fd() is -1: nothing more to watch.
//
// A client has gone when its connection is reset or closed both ways, or when it ended its
// sending side with nothing sent after its request. A client that sent further requests
// behind this one (pipelining) waits for their answers, and is not watched any more for this
// call. The fd is polled by one thread at a time; gone() may be read from any thread.
#pragma once

#include <atomic>

namespace talwen::db {

class ClientWatch {
 public:
  explicit ClientWatch(int fd = -1) : fd_(fd) {}
  ClientWatch(const ClientWatch&) = delete;
  ClientWatch& operator=(const ClientWatch&) = delete;

  // The socket to poll for POLLRDHUP; -1 when there is nothing to watch.
  int fd() const { return fd_.load(std::memory_order_relaxed); }
  // Judge what poll reported for fd(): true when the client has just been found gone.
  bool Judge(short revents);
  // Has the client gone? (Set by Judge, or by MarkGone.)
  bool gone() const { return gone_.load(std::memory_order_relaxed); }
  // The host found the client gone on its own.
  void MarkGone() {
    gone_ = true;
    fd_ = -1;
  }

 private:
  std::atomic<int> fd_;
  std::atomic<bool> gone_{false};
};

}  // namespace talwen::db
