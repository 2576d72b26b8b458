#include "host/access_log.h"

#include <cstdio>
#include <ctime>

#include "host/http_fields.h"

namespace talwen::host {
namespace {

// A buffer larger than this goes out at once.
constexpr size_t kFlushBytes = 32 * 1024;

}  // namespace

void AppendLocalTime(std::string& out, std::chrono::system_clock::time_point when) {
  // The calendar second and zone of the last stamp this thread made.
  thread_local std::time_t second = -1;
  thread_local char date[24] = {};
  thread_local char zone[8] = {};
  const auto since_epoch =
      std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
  const std::time_t t = static_cast<std::time_t>(since_epoch / 1000);
  if (t != second) {
    std::tm tm{};
    ::localtime_r(&t, &tm);
    std::strftime(date, sizeof(date), "%Y-%m-%dT%H:%M:%S", &tm);
    std::strftime(zone, sizeof(zone), "%z", &tm);
    second = t;
  }
  char ms[8];
  std::snprintf(ms, sizeof(ms), ".%03d", static_cast<int>(since_epoch % 1000));
  out += date;
  out += ms;
  out += zone;
}

void AppendAccessLine(std::string& out, const AccessEntry& entry,
                      std::chrono::system_clock::time_point when) {
  AppendLogField(out, entry.peer);
  out += ' ';
  AppendLocalTime(out, when);
  out += ' ';
  AppendLogField(out, entry.method);
  out += ' ';
  AppendLogField(out, entry.path);
  out += ' ';
  AppendLogField(out, entry.function);
  char numbers[64];
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(entry.took).count();
  const int n = std::snprintf(numbers, sizeof(numbers), " %d %zu %lld.%03lldms\n", entry.status,
                              entry.body_bytes, static_cast<long long>(micros / 1000),
                              static_cast<long long>(micros % 1000));
  out.append(numbers, static_cast<size_t>(n));
}

AccessLog::AccessLog(size_t writers, std::function<void(std::string_view lines)> sink)
    : sink_(std::move(sink)) {
  for (size_t i = 0; i < writers; ++i) buffers_.push_back(std::make_unique<Buffer>());
}

AccessLog::~AccessLog() {
  flush();
}

void AccessLog::add(size_t writer, const AccessEntry& entry) {
  Buffer& buffer = *buffers_[writer];
  std::lock_guard<std::mutex> lock(buffer.mutex);
  AppendAccessLine(buffer.lines, entry, std::chrono::system_clock::now());
  if (buffer.lines.size() >= kFlushBytes) write(buffer);
}

void AccessLog::flush() {
  for (const auto& buffer : buffers_) {
    std::lock_guard<std::mutex> lock(buffer->mutex);
    write(*buffer);
  }
}

void AccessLog::write(Buffer& buffer) {
  if (buffer.lines.empty()) return;
  try {
    sink_(buffer.lines);
  } catch (...) {
    // A log that cannot be written must not stop the answers.
  }
  buffer.lines.clear();  // keeps its capacity for the next lines
}

}  // namespace talwen::host
