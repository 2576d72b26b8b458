#include "host/access_log.h"

#include <algorithm>
#include <charconv>

#include "base/dates.h"
#include "base/text.h"
#include "host/http_fields.h"

namespace talwen::host {
namespace {

// A buffer larger than this goes out at once.
// A writer writes its own buffer out only past this; below, the flushes do, on their thread.
constexpr size_t kMostBuffered = 1024 * 1024;

// The longest method and function name, and the longest path, written whole: a longer one is
// cut there and ends in "...", so that no request can fill the log with one line.
constexpr size_t kMaxNameBytes = 64;
constexpr size_t kMaxPathBytes = 256;

template <typename Number>
void append_number(std::string& out, Number value) {
  char digits[24];
  const char* end = std::to_chars(digits, digits + sizeof(digits), value).ptr;
  out.append(digits, static_cast<size_t>(end - digits));
}

void append_cut(std::string& out, std::string_view text, size_t max) {
  if (text.size() <= max) return AppendLogField(out, text);
  AppendLogField(out, text.substr(0, max));
  out += "...";
}

}  // namespace

void AppendAccessLine(std::string& out, const AccessEntry& entry,
                      std::chrono::system_clock::time_point when) {
  AppendLogField(out, entry.peer);
  out += ' ';
  append_local_iso_stamp(out, when, true);
  out += ' ';
  append_cut(out, entry.method, kMaxNameBytes);
  out += ' ';
  append_cut(out, entry.path, kMaxPathBytes);
  out += ' ';
  append_cut(out, entry.function, kMaxNameBytes);
  // " 200 43 0.332ms": the status, the body's bytes and the time taken.
  const long long micros = std::max<long long>(
      0, std::chrono::duration_cast<std::chrono::microseconds>(entry.took).count());
  out += ' ';
  append_number(out, entry.status);
  out += ' ';
  append_number(out, entry.body_bytes);
  out += ' ';
  append_number(out, micros / 1000);
  append_thousandths(out, static_cast<int>(micros % 1000));
  out += "ms";
  if (!entry.reason.empty()) {
    // Last, quoted: a reason has blanks ("database error 23505"). It is the engine's own
    // short text; anything else is made harmless all the same.
    out += " \"";
    for (const char c : entry.reason) out += (c >= 0x20 && c < 0x7f && c != '"') ? c : '?';
    out += '"';
  }
  out += '\n';
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
  bool full = false;
  {
    std::lock_guard<std::mutex> lock(buffer.mutex);
    AppendAccessLine(buffer.lines, entry, std::chrono::system_clock::now());
    full = buffer.lines.size() >= kMostBuffered;
  }
  if (full) write(buffer);
}

void AccessLog::flush() {
  for (const auto& buffer : buffers_) write(*buffer);
}

void AccessLog::write(Buffer& buffer) {
  // The lines are taken out under the buffer's lock and written outside it, so that a slow
  // log holds up no answer; one block of a buffer at a time, so its lines stay in order.
  std::lock_guard<std::mutex> writing(buffer.writing);
  {
    std::lock_guard<std::mutex> lock(buffer.mutex);
    buffer.out.swap(buffer.lines);
  }
  if (buffer.out.empty()) return;
  try {
    sink_(buffer.out);
  } catch (...) {
    // A log that cannot be written must not stop the answers.
  }
  buffer.out.clear();  // keeps its capacity for the next lines
}

}  // namespace talwen::host
