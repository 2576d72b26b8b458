#include "host/metrics.h"

#include <cstdio>

namespace talwen::host {
namespace {

constexpr std::array<std::string_view, GatewayMetrics::kOutcomes> kOutcomeNames = {
    "ok", "status_nonzero", "empty", "database_error", "refused", "cancelled"};

// The label value of a function the table does not serve: never the client's text.
constexpr std::string_view kUnknownFunction = "unknown";

// A label value, quoted, with backslash, double quote and line feed escaped.
void append_label(std::string& out, std::string_view name, std::string_view value) {
  out += name;
  out += "=\"";
  for (const char c : value) {
    if (c == '\\' || c == '"') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  out += '"';
}

void append_header(std::string& out, std::string_view name, std::string_view type,
                   std::string_view help) {
  out += "# HELP ";
  out += name;
  out += ' ';
  out += help;
  out += "\n# TYPE ";
  out += name;
  out += ' ';
  out += type;
  out += '\n';
}

void append_number(std::string& out, double value) {
  char text[32];
  const int n = std::snprintf(text, sizeof text, "%.17g", value);
  out.append(text, static_cast<size_t>(n));
}

void append_sample(std::string& out, std::string_view name, std::string_view labels,
                   uint64_t value) {
  out += name;
  if (!labels.empty()) {
    out += '{';
    out += labels;
    out += '}';
  }
  out += ' ';
  out += std::to_string(value);
  out += '\n';
}

// The bucket of a time: the first whose bound it does not pass.
size_t bucket_of(std::chrono::steady_clock::duration took) {
  const double seconds = std::chrono::duration<double>(took).count();
  size_t b = 0;
  while (b < GatewayMetrics::kBuckets.size() && seconds > GatewayMetrics::kBuckets[b]) ++b;
  return b;
}

}  // namespace

GatewayMetrics::GatewayMetrics(std::span<const RfFunction> functions)
    : functions_(functions), counters_(std::make_unique<Counters[]>(functions.size() + 1)) {}

size_t GatewayMetrics::slot(const RfFunction* function) const {
  if (function == nullptr || function < functions_.data() ||
      function >= functions_.data() + functions_.size()) {
    return functions_.size();
  }
  return static_cast<size_t>(function - functions_.data());
}

std::optional<GatewayMetrics::Clock::time_point> GatewayMetrics::TryStart(Counters& c, int limit) {
  if (c.running.fetch_add(1) >= limit && limit > 0) {
    c.running.fetch_sub(1);
    return std::nullopt;
  }
  const Clock::time_point now = Clock::now();
  c.last_change.store(now.time_since_epoch().count(), std::memory_order_relaxed);
  return now;
}

std::optional<GatewayMetrics::Clock::time_point> GatewayMetrics::Start(size_t slot, int limit,
                                                                       db::Waiter* waiter) {
  Counters& c = counters_[slot];
  if (auto started = TryStart(c, limit)) return started;
  const auto stuck = [&c] {
    const Clock::time_point last{Clock::duration(c.last_change.load(std::memory_order_relaxed))};
    return Clock::now() - last > kStuckAfter;
  };
  const Clock::time_point give_up = Clock::now() + kLongestWait;
  std::optional<Clock::time_point> started;
  std::unique_lock<std::mutex> lock(c.turn_mutex);
  c.waiting.fetch_add(1);  // before trying again: a call finishing now sees the waiter
  while (!(started = TryStart(c, limit)) && !stuck() && Clock::now() < give_up) {
    c.turns.Wait(lock, waiter, std::min(give_up, Clock::now() + kStuckAfter),
                 [&] { return c.running.load() < limit; });
  }
  c.waiting.fetch_sub(1);
  return started;
}

void GatewayMetrics::Finish(size_t slot, Outcome outcome, Clock::time_point started) {
  Counters& c = counters_[slot];
  const Clock::time_point now = Clock::now();
  const Clock::duration took = now - started;
  c.last_change.store(now.time_since_epoch().count(), std::memory_order_relaxed);
  c.running.fetch_sub(1);
  if (c.waiting.load() > 0) {
    std::lock_guard<std::mutex> lock(c.turn_mutex);  // a waiter is waiting, not between its
    c.turns.NotifyOne();                             // try and its wait
  }
  c.outcomes[outcome].fetch_add(1, std::memory_order_relaxed);
  c.buckets[bucket_of(took)].fetch_add(1, std::memory_order_relaxed);
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(took).count();
  c.micros.fetch_add(static_cast<uint64_t>(micros > 0 ? micros : 0), std::memory_order_relaxed);
}

void GatewayMetrics::Refuse(size_t slot) {
  counters_[slot].outcomes[kRefused].fetch_add(1, std::memory_order_relaxed);
}

void GatewayMetrics::CountDatabaseError(const std::string& code) {
  std::lock_guard<std::mutex> lock(errors_mutex_);
  ++errors_[code];
}

int GatewayMetrics::running(size_t slot) const {
  return counters_[slot].running.load(std::memory_order_relaxed);
}

std::string GatewayMetrics::Text(const std::vector<db::PoolStats>& pools,
                                 std::chrono::seconds uptime, std::string_view version) const {
  std::string out;
  const auto name_of = [&](size_t slot) {
    return slot < functions_.size() ? functions_[slot].name : kUnknownFunction;
  };
  const size_t slots = functions_.size() + 1;

  append_header(out, "talwen_requests_total", "counter",
                "RF calls by function and outcome (functions not called yet are left out).");
  for (size_t s = 0; s < slots; ++s) {
    for (size_t o = 0; o < kOutcomes; ++o) {
      const uint64_t n = counters_[s].outcomes[o].load(std::memory_order_relaxed);
      if (n == 0) continue;
      std::string labels;
      append_label(labels, "function", name_of(s));
      labels += ',';
      append_label(labels, "outcome", kOutcomeNames[o]);
      append_sample(out, "talwen_requests_total", labels, n);
    }
  }

  append_header(out, "talwen_request_duration_seconds", "histogram",
                "Time of the RF calls that ran, from the engine's start to its reply.");
  for (size_t s = 0; s < slots; ++s) {
    const Counters& c = counters_[s];
    std::array<uint64_t, kBuckets.size() + 1> counts;
    uint64_t total = 0;
    for (size_t b = 0; b < counts.size(); ++b) {
      counts[b] = c.buckets[b].load(std::memory_order_relaxed);
      total += counts[b];
    }
    if (total == 0) continue;
    std::string function;
    append_label(function, "function", name_of(s));
    uint64_t cumulative = 0;
    for (size_t b = 0; b < counts.size(); ++b) {
      cumulative += counts[b];
      std::string labels = function + ",le=\"";
      if (b < kBuckets.size()) {
        append_number(labels, kBuckets[b]);
      } else {
        labels += "+Inf";
      }
      labels += '"';
      append_sample(out, "talwen_request_duration_seconds_bucket", labels, cumulative);
    }
    out += "talwen_request_duration_seconds_sum{" + function + "} ";
    append_number(out, static_cast<double>(c.micros.load(std::memory_order_relaxed)) / 1e6);
    out += '\n';
    append_sample(out, "talwen_request_duration_seconds_count", function, total);
  }

  append_header(out, "talwen_database_errors_total", "counter",
                "Database errors by the database's code (SQLSTATE or server error number).");
  {
    std::lock_guard<std::mutex> lock(errors_mutex_);
    for (const auto& [code, n] : errors_) {
      std::string labels;
      append_label(labels, "code", code);
      append_sample(out, "talwen_database_errors_total", labels, n);
    }
  }

  struct PoolGauge {
    std::string_view name, type, help;
    uint64_t (*value)(const db::PoolStats&);
  };
  static constexpr PoolGauge kPoolGauges[] = {
      {"talwen_pool_size", "gauge", "Calls that may use the target's connections at once.",
       [](const db::PoolStats& p) { return static_cast<uint64_t>(p.size > 0 ? p.size : 0); }},
      {"talwen_pool_in_use", "gauge", "Calls using one of the target's connections now.",
       [](const db::PoolStats& p) { return static_cast<uint64_t>(p.in_use); }},
      {"talwen_pool_idle", "gauge", "Idle connections kept for the target.",
       [](const db::PoolStats& p) { return static_cast<uint64_t>(p.idle); }},
      {"talwen_pool_waiting", "gauge", "Calls waiting for a turn at the target's connections.",
       [](const db::PoolStats& p) { return static_cast<uint64_t>(p.waiting); }},
      {"talwen_pool_wait_timeouts_total", "counter",
       "Calls refused after waiting POOL WAIT SECONDS for a connection.",
       [](const db::PoolStats& p) { return p.wait_timeouts; }},
  };
  for (const PoolGauge& gauge : kPoolGauges) {
    append_header(out, gauge.name, gauge.type, gauge.help);
    for (const db::PoolStats& pool : pools) {
      std::string labels;
      append_label(labels, "target", pool.target);
      append_sample(out, gauge.name, labels, gauge.value(pool));
    }
  }

  append_header(out, "talwen_uptime_seconds", "gauge", "Seconds since the gateway started.");
  append_sample(out, "talwen_uptime_seconds", "", static_cast<uint64_t>(uptime.count()));
  append_header(out, "talwen_build_info", "gauge", "The program's version, as a label.");
  std::string labels;
  append_label(labels, "version", version);
  append_sample(out, "talwen_build_info", labels, 1);
  return out;
}

}  // namespace talwen::host
