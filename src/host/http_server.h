// HttpServer: HTTP/1.1 connections served by a few worker threads, none of which a client
// can hold.
//
// Each worker is an event loop (host/event_loop.h) with its share of the connections: the
// housekeeping thread accepts them and hands each to the worker serving the fewest. A worker
// reads what has arrived without blocking into the connection's own buffer and feeds the HTTP
// parser; only once a request has fully arrived does it run the handler, on a fiber of its
// own, write the answer and register the socket again. When the handler waits for its
// database, the fiber is parked and the worker serves its other connections meanwhile. A
// connection waiting for bytes, idle between requests, or waiting for a slow reader costs no
// thread and no fiber, so a client sending one byte a second delays nobody. At most `threads`
// requests run at once, on all workers together; a connection whose request finds every turn
// taken waits in line at its worker, in order, until a request ends there or on another.
//
// Each connection has its own deadline: a new connection must start its first request within
// the read time-out, a request must arrive whole within the read time-out of its first byte,
// an idle kept-alive connection lasts the keep-alive time-out, each write of an answer the
// write time-out. The housekeeping looks at the deadlines a few times a second and wakes the
// expired connections (by shutting their reading side), whose worker then answers 408 to a
// request that had started, or just closes. The hot path takes no lock shared by all
// workers: the registry of connections is locked when a connection opens or closes.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "db/client_watch.h"
#include "host/access_log.h"
#include "host/networks.h"

namespace talwen::host {

using Clock = std::chrono::steady_clock;

struct HeaderField {
  std::string_view name;
  std::string_view value;
};

// A request as the server read it. The views last until the handler returns.
struct HttpRequest {
  std::string_view method;
  std::string_view target;               // as sent: path and query, still encoded
  std::string_view protocol;             // "HTTP/1.1" or "HTTP/1.0"
  std::span<const HeaderField> headers;  // in the order sent
  std::string_view body;                 // the decoded body ("" before it is read)
  bool has_body = false;                 // a body was announced (length over 0, or chunked)

  // The client: the connection's peer, or the address a trusted proxy forwarded. IPv4-mapped
  // IPv6 shown as IPv4.
  std::string_view peer_address;
  IpAddress peer_ip{};
  int peer_port = 0;  // of the connection's peer
  std::string_view local_address;
  int local_port = 0;
  // The client's socket, to be watched for the client's going while the request is served
  // (poll only: never read or written); -1 when bytes of a further request have been read
  // already (that client waits for its answers).
  int client_fd = -1;
  // How the handler's waits for its database let the worker serve other requests meanwhile.
  db::Waiter* waiter = nullptr;

  // The first value of the header so named (letter case ignored), or nullptr.
  const std::string_view* header(std::string_view name) const;
};

struct HttpResponse {
  int status = 200;
  std::string_view content_type = "text/plain; charset=utf-8";
  std::string body;
  std::vector<std::pair<std::string_view, std::string>> headers;  // beside the usual ones
  bool close = false;    // close the connection after this answer
  std::string function;  // what the access log names as the function
  std::string reason;    // why the request failed, for the access log; "" when it did not
};

// The status of a request whose client went away before its answer: logged, never sent.
inline constexpr int kClientClosedRequest = 499;

// The usual text answer for a status: "404 Not Found\n".
void PlainResponse(HttpResponse& response, int status, bool close);

struct ServerLimits {
  // Requests served at once; more wait, costing no thread, until one of them is answered.
  size_t threads = 16;
  // The workers, each an event loop serving its share of the connections; never more than
  // `threads`. 0: half the cores, rounded up.
  size_t workers = 0;
  size_t max_connections = 512;
  // Connections from one address at once; a trusted proxy's are counted only in the total.
  size_t max_connections_per_peer = 64;
  size_t max_header_bytes = 16 * 1024;  // request line and headers together
  size_t max_body_bytes = 64 * 1024;
  std::chrono::milliseconds read_timeout{10'000};
  std::chrono::milliseconds write_timeout{10'000};
  std::chrono::milliseconds keep_alive_timeout{5'000};  // 0: one request per connection
  size_t keep_alive_requests = 1000;
  // Peers whose X-Forwarded-For names the client (its last address): a proxy in front. From
  // any other peer the header means nothing.
  NetworkList trusted_proxies;
};

class EventLoop;

class HttpServer {
 public:
  // Answers a complete request. Runs on a fiber of a worker's loop: it waits for sockets
  // through HttpRequest::waiter, or blocks the worker's other connections while it waits. An
  // exception becomes a 500.
  using Handler = std::function<void(const HttpRequest&, HttpResponse&)>;
  // Once the headers of a request with a body are in, before the body is read (and before a
  // client that asked with Expect: 100-continue is told to send it): true to go on, false
  // when the response it filled is the answer (the connection is then closed).
  using Screen = std::function<bool(const HttpRequest&, HttpResponse&)>;

  HttpServer(const ServerLimits& limits, Handler handler, Screen screen, AccessLog& access_log,
             std::function<void(std::string_view)> message);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Bind and listen. Throws std::runtime_error when the address cannot be bound.
  void listen(const std::string& host, int port);
  int port() const { return port_; }
  // Start the workers and the housekeeping. Throws std::system_error.
  void start();
  // Stop accepting, close idle connections, finish the requests already received (answered
  // with "Connection: close"), then stop every thread. Idempotent.
  void stop();
  // Did the listening socket fail on its own?
  bool failed() const { return failed_.load(); }
  size_t open_connections() const { return open_.load(); }
  // The workers started.
  size_t workers() const { return workers_.size(); }

  struct Connection;

 private:
  struct Worker {
    HttpServer* server = nullptr;
    size_t index = 0;
    std::unique_ptr<EventLoop> loop;
    std::thread thread;
    std::mutex inbox_mutex;
    std::vector<Connection*> inbox;  // accepted, for the loop to register
    std::atomic<size_t> connections{0};
    // Its connections with a request to serve while all turns are taken, in order, with
    // their events; and how many (read by the other workers).
    std::deque<std::pair<Connection*, uint32_t>> waiting;
    std::atomic<size_t> waiting_count{0};
  };
  // Take one of the `threads` turns (requests served at once), if one is free.
  bool take_turn();
  // Serve what the event on the connection brings, on a fiber of the worker's loop; the turn
  // is taken already.
  void spawn(Worker& w, Connection& c, uint32_t events);
  // Serve the worker's waiting connections, in order, as far as turns are free.
  void serve_waiting(Worker& w);
  // A request of the worker ended: its turn is free, and a worker with connections waiting
  // is woken to take it.
  void end_turn(Worker& w);

  // The connections of the peers whose address falls in it, and how many each peer holds.
  struct Shard {
    std::mutex mutex;
    std::unordered_set<Connection*> connections;
    std::unordered_map<IpAddress, size_t, IpAddressHash> per_peer;
  };
  static constexpr size_t kShards = 16;

  // Where a connection stands after a step: closed (and gone), handed back to its worker's
  // epoll set to wait, or still being served.
  enum class Progress { kClosed, kWaiting, kDone };

  void work(Worker& worker);
  static void on_event(void* worker, void* connection, uint32_t events);
  void housekeep();
  void accept_all(size_t worker);
  // A request from a trusted proxy: take the client it names. false when the name is not an
  // address.
  bool forwarded_client(Connection& c);
  // Count a new connection in, unless its peer already holds as many as it may.
  bool admit(Connection& c);
  // Answer 503 to a connection over the limit, and close it.
  void refuse(Connection& c, size_t worker);
  // Take up a connection the epoll set handed to this worker.
  void serve(Connection& c, uint32_t events, size_t worker);
  // Parse and answer what is buffered, reading on until the socket has nothing more; false
  // when the connection was closed.
  bool advance(Connection& c, size_t worker);
  // Write the answer to the request just read (or to one that could not be read).
  Progress answer(Connection& c, HttpResponse& response, bool request_read, size_t worker);
  // Write what is left of the answer, waiting for the client in the epoll set when needed.
  Progress flush(Connection& c, size_t worker);
  // The answer is out (or will never be): its access-log line.
  void finished(Connection& c, size_t worker);
  // Hand the connection back to the epoll set until its next bytes; false when it was closed
  // instead (the server stops).
  bool wait_for_input(Connection& c);
  void close(Connection& c);
  Shard& shard_of(const Connection& c);

  const ServerLimits limits_;
  const Handler handler_;
  const Screen screen_;
  AccessLog& access_log_;
  const std::function<void(std::string_view)> message_;

  int listen_fd_ = -1;
  int wake_fd_ = -1;  // eventfd: tells the housekeeping to end
  int port_ = 0;
  std::atomic<bool> started_{false};
  std::atomic<bool> stopping_{false};
  std::atomic<bool> failed_{false};
  std::atomic<bool> accept_paused_{false};  // out of file descriptors: retried by housekeeping
  std::atomic<size_t> open_{0};
  std::atomic<size_t> running_{0};  // requests being served, on all workers

  Shard shards_[kShards];
  std::mutex stop_mutex_;
  std::condition_variable stop_cv_;  // the last connection closed
  std::atomic<bool> housekeeping_done_{false};
  std::atomic<bool> workers_done_{false};

  std::vector<std::unique_ptr<Worker>> workers_;
  std::thread housekeeper_;
};

}  // namespace talwen::host
