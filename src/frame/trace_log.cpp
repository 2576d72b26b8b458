#include "frame/trace_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <string>

#include "base/dates.h"
#include "base/text.h"
#include "frame/call.h"
#include "frame/reply.h"

namespace talwen {
namespace {

constexpr std::string_view kCrLf = "\r\n";

bool is_password_key(std::string_view key) {
  return iequals(key, "PASSWORD");
}

}  // namespace

void WriteLogLine(const Call& call, std::string_view text, std::string_view path) {
  const std::string file(path.empty() ? std::string_view(call.trace.path) : path);
  if (file.empty()) return;
  std::string entry = local_stamp(call.env.now());
  entry.append(" - ").append(text).append(kCrLf);
  const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  const ssize_t written = ::write(fd, entry.data(), entry.size());
  (void)written;  // a lost entry is not a failed call
  ::close(fd);
}

void LogEnter(const Call& call) {
  if (call.trace.path.empty()) return;
  std::string text = call.remote_addr + " entering " + call.function_name;
  if (call.trace.mode == "DETAIL" || call.trace.mode == "DETAILED") {
    const Session& session = call.session;
    for (int i = 1; i <= session.count(); ++i) {
      const std::string& key = session.key(i);
      const std::string& value = session.item(i);
      text.append(kCrLf).append(std::to_string(i)).append(" > ").append(key).append(" : ");
      if (is_password_key(key)) {
        text.append(static_cast<size_t>(CharacterCount(value)), '*');
      } else {
        text.append(value);
      }
    }
  }
  WriteLogLine(call, text);
}

void LogFailure(const Call& call) {
  if (call.trace.path.empty() || (call.trace.mode != "DETAIL" && call.trace.mode != "DETAILED")) {
    return;
  }
  const Failure& f = call.failure;
  std::string text = call.remote_addr + " failed " + call.function_name;
  if (!f.reason.empty()) text.append(": ").append(f.reason);
  text.append(kCrLf).append(f.detail);
  WriteLogLine(call, text);
}

void LogExit(const Call& call, std::string_view reply) {
  if (call.trace.path.empty()) return;
  std::string text = call.remote_addr + " exiting " + call.function_name;
  text.append(kCrLf);
  if (call.trace.mode == "DETAILED" && !reply.empty()) text.append(reply).append(kCrLf);
  WriteLogLine(call, text);
}

}  // namespace talwen
