// Main: the one door of the engine. Process takes a request's session and request objects and
// returns the reply text; nothing it meets, however malformed, escapes it.
//
// One Main serves one request on one thread. Many Mains may run at once on different threads,
// sharing the Environment.
#pragma once

#include <string>

#include "frame/call.h"
#include "frame/failure.h"
#include "frame/session.h"

namespace talwen {

class Main {
 public:
  explicit Main(const Environment& env) : env_(env) {}

  // Read the configuration, open a database connection, run the handler named by the session
  // value "function" and return its reply; then remove every session value. A connection
  // failure is answered with the status pair and the session is kept; a pool with no
  // connection free in time (failure kBusy) with the empty reply, the call not started.
  std::string Process(Session& session, const Request& request);

  // After Process: the function name as given, whether the reply is an HTML page, and why
  // the request failed, when it did (frame/failure.h).
  const std::string& function_name() const { return function_name_; }
  bool reply_is_html() const { return html_; }
  const Failure& failure() const& { return failure_; }
  Failure&& failure() && { return std::move(failure_); }

 private:
  const Environment& env_;
  std::string function_name_;
  bool html_ = false;
  Failure failure_;
};

// The INI section (database instance) of a session that names none. Kept as the sites' INI
// files and pages already spell it: renaming it would send every page that sends no
// "dbinstance" to a section that does not exist.
constexpr std::string_view kDefaultInstance = "veldrawms";

}  // namespace talwen
