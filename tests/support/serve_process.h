// ServeProcess: a `talwen serve` started as a child process for tests, its standard error
// collected as it comes and its port read from the start-up message.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace talwen::testing {

class ServeProcess {
 public:
  // Start `program serve args...` with standard output discarded.
  ServeProcess(const std::string& program, std::vector<std::string> args);
  // Kills the process when it still runs.
  ~ServeProcess();
  ServeProcess(const ServeProcess&) = delete;
  ServeProcess& operator=(const ServeProcess&) = delete;

  // Read standard error until it holds text (true), the process closes it, or 10 s pass.
  bool wait_for(std::string_view text);
  // The port of the "listening on http://HOST:PORT/" message, 0 when there is none yet.
  int port();
  // Send a signal.
  void signal(int sig);
  // Wait for the process to end: its exit status, or 128 + the signal that ended it.
  int wait_exit();
  const std::string& error_text() const { return stderr_; }

 private:
  pid_t pid_ = -1;
  int err_ = -1;
  int status_ = -1;
  std::string stderr_;
};

}  // namespace talwen::testing
