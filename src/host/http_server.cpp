#include "host/http_server.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <boost/beast/http.hpp>
#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "base/text.h"
#include "host/event_loop.h"
#include "host/http_fields.h"

namespace talwen::host {
namespace {

namespace http = boost::beast::http;

// The longest request target, and the longest header line, taken.
constexpr size_t kMaxTarget = 8192;
constexpr size_t kMaxHeaderLine = 8192;
// A connection's read buffer to begin with; it grows when a request needs more.
constexpr size_t kReadBuffer = 4 * 1024;
// How much unread input a closing connection discards so that the client sees the answer
// rather than a reset.
constexpr size_t kDrainOnClose = 64 * 1024;
// Connections accepted per turn before the listening socket goes back to the others.
constexpr int kAcceptBatch = 64;
// How often the housekeeping looks at the deadlines and writes out the access log.
constexpr auto kHousekeepingTick = std::chrono::milliseconds(100);
constexpr auto kAccessLogFlush = std::chrono::milliseconds(250);

constexpr int64_t kNever = INT64_MAX;

int64_t ticks(Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

const char* reason_of(int status) {
  switch (status) {
    case 100:
      return "Continue";
    case 200:
      return "OK";
    case 400:
      return "Bad Request";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 405:
      return "Method Not Allowed";
    case 408:
      return "Request Timeout";
    case 413:
      return "Payload Too Large";
    case 414:
      return "URI Too Long";
    case 415:
      return "Unsupported Media Type";
    case 401:
      return "Unauthorized";
    case 429:
      return "Too Many Requests";
    case 431:
      return "Request Header Fields Too Large";
    case 500:
      return "Internal Server Error";
    case 503:
      return "Service Unavailable";
    default:
      return "Error";
  }
}

std::string_view view(boost::beast::string_view s) {
  return {s.data(), s.size()};
}

// The address and port of a socket address, as text.
void describe(const sockaddr_storage& storage, std::string& address, int& port) {
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

// What is wrong with the head of a request the parser took, as RFC 9112 reads it: 0 when
// nothing. The parser itself already refuses control bytes in the target and the fields,
// blanks before a colon, differing Content-Length values, Content-Length beside
// Transfer-Encoding and a repeated Transfer-Encoding; these are the ways of framing a
// request it lets through, each of which a proxy in front could read otherwise.
int framing_fault(const http::request_parser<http::string_body>& parser) {
  const auto& message = parser.get();
  if (message.target().size() > kMaxTarget) return 414;
  int hosts = 0;
  int lengths = 0;
  for (const auto& field : message) {
    const std::string_view value = view(field.value());
    if (field.name_string().size() + value.size() + 2 > kMaxHeaderLine) return 431;
    switch (field.name()) {
      case http::field::host:
        ++hosts;
        break;
      case http::field::content_length:
        // One length, of digits alone: not a list, not twice.
        if (++lengths > 1 || value.find_first_not_of("0123456789") != std::string_view::npos) {
          return 400;
        }
        break;
      case http::field::transfer_encoding:
        // Only chunked is decoded; HTTP/1.0 has no transfer codings at all.
        if (message.version() < 11 || !iequals(value, "chunked")) return 400;
        break;
      default:
        break;
    }
  }
  // HTTP/1.1 names its host exactly once; HTTP/1.0 at most once.
  if (hosts > 1 || (hosts == 0 && message.version() >= 11)) return 400;
  return 0;
}

// The last address of the last X-Forwarded-For field: the one the proxy next to us added or
// set. Those before it come from further away, the client itself included, and prove nothing.
// nullopt when there is no such field; "" when its last entry is not an address.
std::optional<std::string_view> last_forwarded_for(
    const http::request_parser<http::string_body>& parser) {
  std::optional<std::string_view> last;
  for (const auto& field : parser.get()) {
    if (iequals(view(field.name_string()), "X-Forwarded-For")) last = view(field.value());
  }
  if (!last) return last;
  const size_t comma = last->rfind(',');
  if (comma != std::string_view::npos) last->remove_prefix(comma + 1);
  return trim(*last, " \t");
}

// What a connection waits for, as the housekeeping sees it.
enum Wait : int {
  kBusy,     // a worker has it
  kIdle,     // a new connection, or one between requests
  kRequest,  // the rest of a request that has started
  kWrite,    // the client to read the rest of an answer
};

// Workers when none are set: half the cores, rounded up. A worker spends some 30 µs of CPU on
// a request, its database more; on a machine the gateway shares with its database, more
// workers only take turns with it on the cores and wake each other across them, which costs
// both sides CPU per request.
size_t DefaultWorkers() {
  return (std::max(1u, std::thread::hardware_concurrency()) + 1) / 2;
}

}  // namespace

const std::string_view* HttpRequest::header(std::string_view name) const {
  for (const HeaderField& field : headers) {
    if (iequals(field.name, name)) return &field.value;
  }
  return nullptr;
}

void PlainResponse(HttpResponse& response, int status, bool close) {
  response.status = status;
  response.content_type = "text/plain; charset=utf-8";
  response.body = std::to_string(status) + " " + reason_of(status) + "\n";
  response.close = response.close || close;
}

struct HttpServer::Connection {
  using Parser = http::request_parser<http::string_body>;

  int fd = -1;
  Worker* worker = nullptr;  // the worker whose loop serves it, once handed to one
  std::string peer;
  IpAddress peer_ip{};
  int peer_port = 0;
  std::string local;
  int local_port = 0;

  std::vector<char> in;  // read buffer: [in_start, in_end) not parsed yet
  size_t in_start = 0;
  size_t in_end = 0;
  std::optional<Parser> parser;     // the request being read
  size_t header_bytes = 0;          // of it, consumed before its headers were complete
  size_t head_fields = 0;           // fields in its head, trailer aside
  std::vector<HeaderField> fields;  // its fields as the handler sees them
  bool screened = false;
  bool started = false;       // a byte of it has arrived
  Clock::time_point arrived;  // when that byte was read
  size_t requests = 0;        // answered so far

  // The client a trusted proxy named for the request being read, when it named one.
  bool forwarded = false;
  std::string client;
  IpAddress client_ip{};
  std::string_view client_address() const { return forwarded ? client : peer; }

  std::string out;  // the answer being written
  size_t out_sent = 0;
  bool close_after = false;
  // Its access-log line.
  std::string method, path, function, reason;
  int status = 0;
  size_t body_bytes = 0;

  std::atomic<int> wait{kBusy};
  std::atomic<int64_t> deadline{kNever};
  std::atomic<bool> woken{false};  // its reading side was shut to wake it
};

HttpServer::HttpServer(const ServerLimits& limits, Handler handler, Screen screen,
                       AccessLog& access_log, std::function<void(std::string_view)> message)
    : limits_(limits),
      handler_(std::move(handler)),
      screen_(std::move(screen)),
      access_log_(access_log),
      message_(std::move(message)) {}

HttpServer::~HttpServer() {
  stop();
  for (const int fd : {listen_fd_, wake_fd_}) {
    if (fd >= 0) ::close(fd);
  }
}

void HttpServer::listen(const std::string& host, int port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(port);
  const std::string failure = "cannot listen on " + host + " port " + std::to_string(port);
  if (::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0 || !found) {
    throw std::runtime_error(failure);
  }
  int fd = -1;
  for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
    fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
    if (fd < 0) continue;
    const int on = 1, off = 0;
    // One server per port: no SO_REUSEPORT; SO_REUSEADDR only lets a restart bind at once.
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    // "::" serves both families.
    if (a->ai_family == AF_INET6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof(off));
    if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, SOMAXCONN) != 0) {
      ::close(fd);
      fd = -1;
    }
  }
  ::freeaddrinfo(found);
  if (fd < 0) throw std::runtime_error(failure);
  sockaddr_storage bound{};
  socklen_t length = sizeof(bound);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
  std::string address;
  describe(bound, address, port_);
  listen_fd_ = fd;
}

void HttpServer::start() {
  if (started_) return;
  wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd_ < 0 || listen_fd_ < 0) {
    throw std::system_error(errno, std::generic_category(), "eventfd");
  }
  const size_t loops = std::clamp<size_t>(limits_.workers ? limits_.workers : DefaultWorkers(), 1,
                                          std::max<size_t>(1, limits_.threads));
  for (size_t i = 0; i < loops; ++i) {
    auto worker = std::make_unique<Worker>();
    worker->server = this;
    worker->index = i;
    worker->loop = std::make_unique<EventLoop>();
    workers_.push_back(std::move(worker));
  }
  started_ = true;
  for (auto& worker : workers_) worker->thread = std::thread([this, &w = *worker] { work(w); });
  housekeeper_ = std::thread([this] { housekeep(); });
}

void HttpServer::stop() {
  if (!started_ || stopping_.exchange(true)) return;
  // New connections are refused from now on; the socket itself closes with the server.
  ::shutdown(listen_fd_, SHUT_RDWR);
  // Idle connections are woken, and their workers close them.
  for (Shard& shard : shards_) {
    std::lock_guard<std::mutex> lock(shard.mutex);
    for (Connection* c : shard.connections) {
      if (c->wait == kIdle && !c->woken.exchange(true)) ::shutdown(c->fd, SHUT_RD);
    }
  }
  {
    std::unique_lock<std::mutex> lock(stop_mutex_);
    stop_cv_.wait(lock, [this] { return open_.load() == 0; });
  }
  housekeeping_done_ = true;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(wake_fd_, &one, sizeof(one));
  housekeeper_.join();
  workers_done_ = true;
  for (auto& worker : workers_) {
    worker->loop->Wake();
    worker->thread.join();
  }
  access_log_.flush();
}

HttpServer::Shard& HttpServer::shard_of(const Connection& c) {
  return shards_[IpAddressHash()(c.peer_ip) % kShards];
}

void HttpServer::work(Worker& w) {
  std::vector<Connection*> arrived;
  while (!workers_done_) {
    {
      std::lock_guard<std::mutex> lock(w.inbox_mutex);
      arrived.swap(w.inbox);
    }
    for (Connection* c : arrived) {
      if (!w.loop->Arm(c->fd, c, EPOLLIN | EPOLLRDHUP)) close(*c);
    }
    arrived.clear();
    serve_waiting(w);
    w.loop->Turn(&HttpServer::on_event, &w, std::chrono::seconds(1));
  }
}

bool HttpServer::take_turn() {
  size_t running = running_.load();
  while (running < limits_.threads) {
    if (running_.compare_exchange_weak(running, running + 1)) return true;
  }
  return false;
}

void HttpServer::serve_waiting(Worker& w) {
  while (!w.waiting.empty() && take_turn()) {
    const auto [c, events] = w.waiting.front();
    w.waiting.pop_front();
    --w.waiting_count;
    spawn(w, *c, events);
  }
}

void HttpServer::end_turn(Worker& w) {
  // Counted down before the others' lines are looked at, as they count theirs up before they
  // try for a turn: either they find this turn free, or this finds them waiting.
  --running_;
  for (const auto& other : workers_) {
    if (other.get() != &w && other->waiting_count.load() > 0) other->loop->Wake();
  }
}

void HttpServer::on_event(void* worker, void* connection, uint32_t events) {
  Worker& w = *static_cast<Worker*>(worker);
  Connection& c = *static_cast<Connection*>(connection);
  // A request of its own is running: a late event of the watch on its client, which the
  // next registration of the connection reports again if it still holds.
  if (c.wait.load() == kBusy) return;
  if (w.waiting.empty() && w.server->take_turn()) return w.server->spawn(w, c, events);
  // In line; its turn comes when a request here or on another worker ends (end_turn), or
  // now, if one ended since it was asked for.
  w.waiting.emplace_back(&c, events);
  ++w.waiting_count;
  w.server->serve_waiting(w);
}

void HttpServer::spawn(Worker& w, Connection& c, uint32_t events) {
  try {
    w.loop->Spawn([this, &w, &c, events] {
      serve(c, events, w.index);
      end_turn(w);
    });
  } catch (const std::exception& e) {  // no memory for its stack
    end_turn(w);
    message_("cannot serve a connection from " + c.peer + ": " + e.what());
    c.wait = kBusy;
    close(c);
  }
}

void HttpServer::housekeep() {
  auto last_flush = Clock::now();
  auto last_sweep = last_flush;
  while (!housekeeping_done_) {
    const bool accepting = !stopping_ && !accept_paused_ && !failed_;
    pollfd fds[2] = {{wake_fd_, POLLIN, 0}, {accepting ? listen_fd_ : -1, POLLIN, 0}};
    const int tick = static_cast<int>(kHousekeepingTick.count());
    if (::poll(fds, 2, tick) < 0 && errno != EINTR) {
      message_(std::string("poll failed: ") + std::strerror(errno));
    }
    if (housekeeping_done_) break;
    // Its refusals go to the access log's writer after the workers' own.
    if (fds[1].revents != 0) accept_all(workers_.size());
    const auto now = Clock::now();
    if (now - last_sweep >= kHousekeepingTick) {
      last_sweep = now;
      for (Shard& shard : shards_) {
        std::lock_guard<std::mutex> shard_lock(shard.mutex);
        for (Connection* c : shard.connections) {
          const int wait = c->wait.load();
          if (wait == kBusy || c->deadline.load() > ticks(now) || c->woken.exchange(true)) {
            continue;
          }
          // Its worker finds the deadline passed. A writer is shut both ways, so that the
          // wait for writing ends too.
          ::shutdown(c->fd, wait == kWrite ? SHUT_RDWR : SHUT_RD);
        }
      }
      accept_paused_ = false;
    }
    if (now - last_flush >= kAccessLogFlush) {
      access_log_.flush();
      last_flush = now;
    }
  }
}

void HttpServer::accept_all(size_t worker) {
  for (int i = 0; i < kAcceptBatch; ++i) {
    sockaddr_storage peer{};
    socklen_t length = sizeof(peer);
    const int fd = ::accept4(listen_fd_, reinterpret_cast<sockaddr*>(&peer), &length,
                             SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK || stopping_) break;
      if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
        accept_paused_ = true;  // the housekeeping tries again shortly
        return;
      }
      failed_ = true;
      message_("the listening socket failed (" + std::string(std::strerror(errno)) +
               "); no new connections are accepted");
      return;
    }
    auto* c = new Connection;
    c->fd = fd;
    describe(peer, c->peer, c->peer_port);
    if (const auto ip = ParseIpAddress(c->peer)) c->peer_ip = *ip;
    sockaddr_storage local{};
    length = sizeof(local);
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
      describe(local, c->local, c->local_port);
    }
    if (open_.load() >= limits_.max_connections || !admit(*c)) {
      refuse(*c, worker);
      continue;
    }
    // Answers are small and written whole: send them at once.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    if (stopping_) {
      close(*c);
      continue;
    }
    c->wait = kIdle;
    c->deadline = ticks(Clock::now() + limits_.read_timeout);
    // To the worker serving the fewest connections; its loop registers it.
    Worker* least = workers_.front().get();
    for (const auto& w : workers_) {
      if (w->connections.load() < least->connections.load()) least = w.get();
    }
    c->worker = least;
    ++least->connections;
    {
      std::lock_guard<std::mutex> lock(least->inbox_mutex);
      least->inbox.push_back(c);
    }
    least->loop->Wake();
  }
}

bool HttpServer::forwarded_client(Connection& c) {
  const std::optional<std::string_view> hop = last_forwarded_for(*c.parser);
  if (!hop) return true;  // the proxy's own request (a health check): the proxy is the client
  const std::optional<IpAddress> ip = ParseIpAddress(*hop);
  if (!ip) return false;
  c.forwarded = true;
  c.client = NormalizeAddress(*hop);
  c.client_ip = *ip;
  return true;
}

bool HttpServer::admit(Connection& c) {
  Shard& shard = shard_of(c);
  std::lock_guard<std::mutex> lock(shard.mutex);
  size_t& held = shard.per_peer[c.peer_ip];
  if (held >= limits_.max_connections_per_peer && !limits_.trusted_proxies.contains(c.peer_ip)) {
    return false;
  }
  ++held;
  ++open_;
  shard.connections.insert(&c);
  return true;
}

void HttpServer::refuse(Connection& c, size_t worker) {
  const std::string body = "503 Service Unavailable\n";
  const std::string answer =
      "HTTP/1.1 503 Service Unavailable\r\nRetry-After: 1\r\nContent-Type: text/plain; "
      "charset=utf-8\r\nContent-Length: " +
      std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  [[maybe_unused]] const ssize_t n =
      ::send(c.fd, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  access_log_.add(worker, {c.peer, "", "", "", 503, body.size(), {}, {}});
  ::shutdown(c.fd, SHUT_WR);
  ::close(c.fd);
  delete &c;
}

void HttpServer::serve(Connection& c, uint32_t events, size_t worker) {
  // (On the fiber the worker's loop started for this event.)
  const int wait = c.wait.exchange(kBusy);
  const bool expired = c.deadline.exchange(kNever) <= ticks(Clock::now());
  try {
    if (wait == kWrite) {
      if (expired || (events & (EPOLLERR | EPOLLHUP))) {
        finished(c, worker);  // the client stopped reading: what it got is all it gets
        close(c);
        return;
      }
      if (flush(c, worker) != Progress::kDone) return;
      if (c.close_after) {
        close(c);
        return;
      }
    } else if (expired) {
      // A request that started but did not arrive in time is told so; a connection that
      // said nothing is just closed.
      if (c.started) {
        HttpResponse response;
        PlainResponse(response, 408, true);
        answer(c, response, false, worker);
      } else {
        close(c);
      }
      return;
    }
    advance(c, worker);
  } catch (const std::exception& e) {
    message_("failure serving a connection from " + c.peer + ": " + e.what());
    close(c);
  }
}

bool HttpServer::advance(Connection& c, size_t worker) {
  for (;;) {
    if (!c.parser) {
      c.parser.emplace();
      c.parser->header_limit(static_cast<uint32_t>(limits_.max_header_bytes));
      c.parser->body_limit(limits_.max_body_bytes);
      c.parser->eager(true);
      c.header_bytes = 0;
      c.screened = false;
      c.forwarded = false;
    }
    Connection::Parser& parser = *c.parser;
    if (c.in_start < c.in_end) {
      if (!c.started) {
        c.started = true;
        c.arrived = Clock::now();
      }
      const bool in_header = !parser.is_header_done();
      boost::beast::error_code ec;
      const size_t used =
          parser.put(boost::asio::buffer(c.in.data() + c.in_start, c.in_end - c.in_start), ec);
      c.in_start += used;
      if (in_header && !parser.is_header_done()) c.header_bytes += used;
      int refused = 0;
      if (ec == http::error::header_limit) {
        refused = 431;
      } else if (ec == http::error::body_limit) {
        refused = 413;
      } else if (ec && ec != http::error::need_more) {
        refused = 400;
      } else if (!parser.is_header_done() &&
                 c.header_bytes + (c.in_end - c.in_start) >= limits_.max_header_bytes) {
        refused = 431;  // the request line and headers together
      }
      if (refused != 0) {
        HttpResponse response;
        PlainResponse(response, refused, true);
        return answer(c, response, false, worker) != Progress::kClosed;
      }

      std::vector<HeaderField>& fields = c.fields;
      const auto request = [&] {
        const auto& message = parser.get();
        fields.clear();
        for (const auto& field : message) {
          fields.push_back({view(field.name_string()), view(field.value())});
        }
        HttpRequest r;
        r.method = view(message.method_string());
        r.target = view(message.target());
        r.protocol = message.version() == 10 ? "HTTP/1.0" : "HTTP/1.1";
        r.headers = fields;
        r.has_body = parser.chunked() || parser.content_length().value_or(0) > 0;
        if (parser.is_done()) r.body = message.body();
        r.peer_address = c.client_address();
        r.peer_ip = c.forwarded ? c.client_ip : c.peer_ip;
        r.peer_port = c.peer_port;
        r.local_address = c.local;
        r.local_port = c.local_port;
        r.client_fd = c.in_start == c.in_end ? c.fd : -1;
        r.waiter = c.worker->loop.get();
        return r;
      };

      if (parser.is_header_done() && !c.screened) {
        c.screened = true;
        int bad = framing_fault(parser);
        if (bad == 0 && limits_.trusted_proxies.contains(c.peer_ip) && !forwarded_client(c)) {
          bad = 400;
        }
        const HttpRequest head = request();
        c.head_fields = head.headers.size();
        HttpResponse response;
        if (bad != 0) PlainResponse(response, bad, true);
        if (bad != 0 || (head.has_body && !screen_(head, response))) {
          response.close = true;
          return answer(c, response, true, worker) != Progress::kClosed;
        }
        const std::string_view* expect = head.header("Expect");
        if (head.has_body && !parser.is_done() && expect && iequals(*expect, "100-continue")) {
          constexpr std::string_view kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
          [[maybe_unused]] const ssize_t n =
              ::send(c.fd, kContinue.data(), kContinue.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        }
      }

      if (parser.is_done()) {
        HttpResponse response;
        const HttpRequest whole = request();
        if (whole.headers.size() != c.head_fields) {
          // Fields in the trailer of a chunked body would join the head after it was
          // screened: a way round the checks above. The pages never send any.
          PlainResponse(response, 400, true);
          return answer(c, response, true, worker) != Progress::kClosed;
        }
        try {
          handler_(whole, response);
        } catch (const std::exception& e) {
          message_("failure serving " + LogField(whole.target) + ": " + e.what());
          response = HttpResponse();
          PlainResponse(response, 500, true);
        }
        if (!parser.keep_alive()) response.close = true;
        if (whole.protocol == "HTTP/1.0" && !response.close) {
          response.headers.emplace_back("Connection", "keep-alive");
        }
        const Progress progress = answer(c, response, true, worker);
        if (progress != Progress::kDone) return progress == Progress::kWaiting;
        // The client waits for this answer before it sends more, as a rule: nothing to read
        // yet, so back to the epoll set, which reports input that is already there at once.
        if (c.in_start == c.in_end) return wait_for_input(c);
        // A request already sent behind this one waits its turn behind the others: the
        // connection goes back to the epoll set, ready at once.
        c.deadline = ticks(Clock::now() + limits_.read_timeout);
        c.wait = kRequest;
        if (c.worker->loop->Arm(c.fd, &c, EPOLLIN | EPOLLOUT)) return true;
        c.wait = kBusy;
        close(c);
        return false;
      }
      if (used > 0) continue;
    }

    // Everything buffered is parsed: read on, after what is left of a request begun.
    if (c.in_start > 0) {
      std::memmove(c.in.data(), c.in.data() + c.in_start, c.in_end - c.in_start);
      c.in_end -= c.in_start;
      c.in_start = 0;
    }
    if (c.in_end == c.in.size()) c.in.resize(std::max(kReadBuffer, 2 * c.in.size()));
    const ssize_t n = ::recv(c.fd, c.in.data() + c.in_end, c.in.size() - c.in_end, MSG_DONTWAIT);
    if (n > 0) {
      c.in_end += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return wait_for_input(c);
    // The client closed (or the connection failed): with nothing to answer, close too.
    close(c);
    return false;
  }
}

HttpServer::Progress HttpServer::answer(Connection& c, HttpResponse& response, bool request_read,
                                        size_t worker) {
  ++c.requests;
  const bool close = response.close || !request_read || stopping_ ||
                     limits_.keep_alive_timeout.count() == 0 ||
                     c.requests >= limits_.keep_alive_requests;
  const bool head = request_read && c.parser && c.parser->get().method() == http::verb::head;

  std::string& out = c.out;
  out.clear();
  c.out_sent = 0;
  out += "HTTP/1.1 ";
  out += std::to_string(response.status);
  out += ' ';
  out += reason_of(response.status);
  out += "\r\nContent-Type: ";
  out += response.content_type;
  out += "\r\nContent-Length: ";
  out += std::to_string(response.body.size());
  out += "\r\n";
  for (const auto& [name, value] : response.headers) {
    if (close && iequals(name, "Connection")) continue;
    out += name;
    out += ": ";
    out += value;
    out += "\r\n";
  }
  if (close) out += "Connection: close\r\n";
  out += "\r\n";
  if (!head) out += response.body;
  if (response.status == kClientClosedRequest) out.clear();  // gone: only logged (and closed)

  c.close_after = close;
  c.status = response.status;
  c.body_bytes = response.body.size();
  c.function = std::move(response.function);
  c.reason = std::move(response.reason);
  if (request_read && c.parser) {
    const auto& message = c.parser->get();
    c.method = view(message.method_string());
    const std::string_view target = view(message.target());
    c.path = DecodePath(target.substr(0, target.find('?')));
  } else {
    c.method.clear();
    c.path.clear();
  }
  if (!c.started) c.arrived = Clock::now();
  c.parser.reset();
  c.started = false;

  const Progress progress = flush(c, worker);
  if (progress == Progress::kDone && close) {
    this->close(c);
    return Progress::kClosed;
  }
  return progress;
}

HttpServer::Progress HttpServer::flush(Connection& c, size_t worker) {
  while (c.out_sent < c.out.size()) {
    const ssize_t n = ::send(c.fd, c.out.data() + c.out_sent, c.out.size() - c.out_sent,
                             MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      c.out_sent += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      c.wait = kWrite;
      c.deadline = ticks(Clock::now() + limits_.write_timeout);
      if (c.worker->loop->Arm(c.fd, &c, EPOLLOUT)) return Progress::kWaiting;
      finished(c, worker);
      close(c);
      return Progress::kClosed;
    } else {
      finished(c, worker);  // the client went away
      close(c);
      return Progress::kClosed;
    }
  }
  finished(c, worker);
  c.out.clear();
  return Progress::kDone;
}

void HttpServer::finished(Connection& c, size_t worker) {
  if (c.status == 0) return;
  access_log_.add(worker, {c.client_address(), c.method, c.path, c.function, c.status, c.body_bytes,
                           Clock::now() - c.arrived, c.reason});
  c.status = 0;
}

bool HttpServer::wait_for_input(Connection& c) {
  if (stopping_ && !c.started) {
    close(c);
    return false;
  }
  const auto deadline = c.started ? c.arrived + limits_.read_timeout
                                  : Clock::now() + (c.requests == 0 ? limits_.read_timeout
                                                                    : limits_.keep_alive_timeout);
  c.deadline = ticks(deadline);
  c.wait = c.started ? kRequest : kIdle;
  if (c.worker->loop->Arm(c.fd, &c, EPOLLIN | EPOLLRDHUP)) return true;
  c.wait = kBusy;
  close(c);
  return false;
}

void HttpServer::close(Connection& c) {
  {
    Shard& shard = shard_of(c);
    std::lock_guard<std::mutex> lock(shard.mutex);
    shard.connections.erase(&c);
    const auto held = shard.per_peer.find(c.peer_ip);
    if (held != shard.per_peer.end() && --held->second == 0) shard.per_peer.erase(held);
  }
  if (c.worker != nullptr) {
    c.worker->loop->Forget(c.fd);
    --c.worker->connections;
  }
  // Close gently: end our side, discard what the client already sent (closing with unread
  // input would reset the connection and could destroy the answer in flight), then close.
  ::shutdown(c.fd, SHUT_WR);
  char discard[4096];
  for (size_t drained = 0; drained < kDrainOnClose;) {
    const ssize_t n = ::recv(c.fd, discard, sizeof(discard), MSG_DONTWAIT);
    if (n <= 0) break;
    drained += static_cast<size_t>(n);
  }
  ::close(c.fd);
  delete &c;
  if (open_.fetch_sub(1) == 1 && stopping_) {
    { std::lock_guard<std::mutex> lock(stop_mutex_); }
    stop_cv_.notify_all();
  }
}

}  // namespace talwen::host
