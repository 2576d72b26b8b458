// The frame's cost per request: one Process call through the scripted database, and a
// 1,000-row listing written with and without the cut-off. Besides the time, each benchmark
// reports the heap bytes and allocations per call, counted by the operator new below.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>

#include "frame/shapes.h"
#include "support/harness.h"

namespace {

std::atomic<long long> g_bytes{0};
std::atomic<long long> g_allocations{0};

void* Allocate(std::size_t size) {
  g_bytes.fetch_add(static_cast<long long>(size), std::memory_order_relaxed);
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

void* AllocateAligned(std::size_t size, std::align_val_t align) {
  g_bytes.fetch_add(static_cast<long long>(size), std::memory_order_relaxed);
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  const auto a = static_cast<std::size_t>(align);
  if (void* p = std::aligned_alloc(a, (size + a - 1) / a * a)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) {
  return Allocate(size);
}
void* operator new[](std::size_t size) {
  return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new(std::size_t size, std::align_val_t align) {
  return AllocateAligned(size, align);
}
void* operator new[](std::size_t size, std::align_val_t align) {
  return AllocateAligned(size, align);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete(void* p, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t, std::align_val_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept {
  std::free(p);
}

namespace talwen {
namespace {

// Counts the heap traffic of the timed loop and reports it per iteration.
class HeapCounter {
 public:
  explicit HeapCounter(benchmark::State& state)
      : state_(state), bytes_(g_bytes.load()), allocations_(g_allocations.load()) {}
  ~HeapCounter() {
    const auto per_call = benchmark::Counter::kAvgIterations;
    state_.counters["heap_bytes"] =
        benchmark::Counter(static_cast<double>(g_bytes.load() - bytes_), per_call);
    state_.counters["allocs"] =
        benchmark::Counter(static_cast<double>(g_allocations.load() - allocations_), per_call);
  }

 private:
  benchmark::State& state_;
  long long bytes_, allocations_;
};

// One request for rf_adjust_carton_qty: configuration (cached), connection, dispatch, the
// statement, a first-row reply, the session cleared. The scripted database allocates too: it
// copies the answer it is given and records the statement text.
void BM_ProcessAdjustCartonQty(benchmark::State& state) {
  testing::Harness h;
  // An INI file written just now is re-read on every call until its timestamp is safely old.
  std::filesystem::last_write_time(
      h.config.path(), std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  // The harness's fixed clock converts a local time on every call; the product's clock doesn't.
  h.env.now = [now = testing::Harness::fixed_now()] { return now; };
  const db::ResultSet answer = testing::Texts({"sqlstatus", "sqlmsg"}, {{"0", "Adjusted."}});
  Main main(h.env);
  Session session;
  {
    HeapCounter heap(state);
    for (auto _ : state) {
      session.set("function", "rf_adjust_carton_qty");
      session.set("client", "C01");
      session.set("carton_no", "CTN000123");
      session.set("qty", "12");
      session.set("operator", "JOE");
      h.db->answer({answer});
      std::string reply = main.Process(session, h.request);
      benchmark::DoNotOptimize(reply);
      h.db->statements.clear();
    }
  }
  if (h.db->answers.size() != 0 || !h.failures.empty()) state.SkipWithError("a call failed");
}
BENCHMARK(BM_ProcessAdjustCartonQty);

// 1,000 rows of about 100 characters each, as a listing handler writes them.
ResultGrid ThousandRows() {
  std::vector<db::Row> rows;
  for (int r = 0; r < 1000; ++r) {
    char pallet[16], location[16];
    std::snprintf(pallet, sizeof pallet, "P%07d", r);
    std::snprintf(location, sizeof location, "A-%02d-%02d-%d", r / 100, r % 100 / 10, r % 10);
    rows.push_back({Value::text(pallet), Value::text(location), Value::text("ITEM-0042"),
                    Value::int32(r % 50 + 1)});
  }
  return ResultGrid({{"pallet"}, {"location"}, {"item_no"}, {"qty", db::kTypeInteger}},
                    std::move(rows));
}

// The listing written into a handler's OutputBuffer; state.range(0) = 1 sets "limit".
void BM_Listing1000Rows(benchmark::State& state) {
  const ResultGrid grid = ThousandRows();
  const Cutoff cutoff(state.range(0) ? "1" : "", "pallet");
  size_t size = 0;
  {
    HeapCounter heap(state);
    for (auto _ : state) {
      OutputBuffer out;
      WriteRecords(out, grid, cutoff);
      size = out.text().size();
      benchmark::DoNotOptimize(out.text().data());
    }
  }
  state.counters["reply_chars"] = static_cast<double>(size);
}
BENCHMARK(BM_Listing1000Rows)->ArgName("cutoff")->Arg(0)->Arg(1);

}  // namespace
}  // namespace talwen

BENCHMARK_MAIN();
