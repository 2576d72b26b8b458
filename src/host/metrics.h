// GatewayMetrics: what the gateway counts, and the text GET /metrics answers with (the
// Prometheus text format, version 0.0.4).
//
// Per RF function: the calls running now (for the per-function limit), the calls answered by
// outcome, and a histogram of their times. Beside them the database errors by their code and,
// when the text is made, the state of the connection pools, the uptime and the version. The
// counters are atomics, one slot per function of the table plus one for names it does not
// serve: counting a request takes no lock. Only database errors, which are rare, are counted
// under a lock.
#pragma once

#include <array>
#include <atomic>
#include <chrono>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>
#include "db/client_watch.h"
#include "db/turn_waiters.h"

#include "db/pool.h"
#include "frame/dispatch.h"

namespace talwen::host {

class GatewayMetrics {
 public:
  enum Outcome {
    kOk,             // a reply, its status (if it has one) 0
    kStatusNonZero,  // a status reply with a status other than 0
    kEmpty,          // the empty reply, without a database failure (no rows, a bad input...)
    kDatabaseError,  // a database failure: refused, timed out, not reachable
    kRefused,        // not started: the function's limit or the pool was full (503)
    kCancelled,      // the client went away; the call was cancelled (499)
    kOutcomes
  };

  // Upper bounds of the latency histogram's buckets, in seconds.
  static constexpr std::array<double, 14> kBuckets = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1,
                                                      0.25,  0.5,    1,     2.5,  5,     10,   30};

  explicit GatewayMetrics(std::span<const RfFunction> functions);

  // The slot of a function of the table; nullptr (a name the table does not serve) has one
  // of its own.
  size_t slot(const RfFunction* function) const;

  // How long a function at its limit may go without starting or finishing a call before it
  // counts as stuck, and the longest a call waits for its turn.
  static constexpr std::chrono::milliseconds kStuckAfter{1000};
  static constexpr std::chrono::milliseconds kLongestWait{5000};

  // Start a call of the slot (limit: calls at once, 0 for none). Over the limit the call
  // waits for its turn while the function's calls keep finishing: a burst of quick calls is
  // served, not refused. It is refused (false) when the function is stuck - none of its calls
  // started or finished for kStuckAfter, as when they all wait on one locked row - or after
  // kLongestWait. Answers when the call started; every call started is ended by Finish.
  // With a waiter (db/client_watch.h), the wait leaves the thread to the waiter's other
  // requests (db/turn_waiters.h).
  std::optional<std::chrono::steady_clock::time_point> Start(size_t slot, int limit,
                                                             db::Waiter* waiter = nullptr);
  // End a call that Start started at started: count its outcome and time.
  void Finish(size_t slot, Outcome outcome, std::chrono::steady_clock::time_point started);
  // Count a call refused before it started.
  void Refuse(size_t slot);
  // Count a database error by its code (a SQLSTATE, a server's error number).
  void CountDatabaseError(const std::string& code);

  // Calls of the slot running now.
  int running(size_t slot) const;

  // The whole text: the counters, then the pools, the uptime and the build's version.
  std::string Text(const std::vector<db::PoolStats>& pools, std::chrono::seconds uptime,
                   std::string_view version) const;

 private:
  using Clock = std::chrono::steady_clock;

  struct Counters {
    std::atomic<int> running{0};
    std::atomic<int> waiting{0};             // calls over the limit waiting for their turn
    std::atomic<Clock::rep> last_change{0};  // when a call last started or finished
    std::mutex turn_mutex;                   // the waiters' turn, taken only over the limit
    db::TurnWaiters turns;
    std::array<std::atomic<uint64_t>, kOutcomes> outcomes{};
    std::array<std::atomic<uint64_t>, kBuckets.size() + 1> buckets{};  // not cumulative
    std::atomic<uint64_t> micros{0};                                   // the sum of the times
  };

  static std::optional<Clock::time_point> TryStart(Counters& c, int limit);

  std::span<const RfFunction> functions_;
  std::unique_ptr<Counters[]> counters_;  // one per function, then the unknown names'
  mutable std::mutex errors_mutex_;
  std::map<std::string, uint64_t> errors_;  // database errors by code
};

}  // namespace talwen::host
