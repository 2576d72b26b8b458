#include "support/serve_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

namespace talwen::testing {

ServeProcess::ServeProcess(const std::string& program, std::vector<std::string> args) {
  int err[2];
  if (::pipe(err) != 0) return;
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  argv.push_back(const_cast<char*>("serve"));
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_ = ::fork();
  if (pid_ == 0) {
    ::dup2(err[1], 2);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::close(err[0]);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(err[1]);
  err_ = err[0];
}

ServeProcess::~ServeProcess() {
  if (pid_ > 0 && status_ < 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (err_ >= 0) ::close(err_);
}

bool ServeProcess::wait_for(std::string_view text) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (stderr_.find(text) == std::string::npos) {
    if (err_ < 0 || std::chrono::steady_clock::now() > end) return false;
    pollfd p{err_, POLLIN, 0};
    if (::poll(&p, 1, 100) < 0) return false;
    if (p.revents == 0) continue;
    char buffer[1024];
    const ssize_t n = ::read(err_, buffer, sizeof(buffer));
    if (n <= 0) return false;
    stderr_.append(buffer, static_cast<size_t>(n));
  }
  return true;
}

int ServeProcess::port() {
  constexpr std::string_view kMark = "listening on http://";
  if (!wait_for(kMark) || !wait_for("/talwen/")) return 0;
  const size_t at = stderr_.find(kMark) + kMark.size();
  const size_t colon = stderr_.find("/talwen/", at);
  const size_t port_at = stderr_.rfind(':', colon) + 1;
  return std::stoi(stderr_.substr(port_at, colon - port_at));
}

void ServeProcess::signal(int sig) {
  if (pid_ > 0) ::kill(pid_, sig);
}

int ServeProcess::wait_exit() {
  if (status_ >= 0) return status_;
  int status = 0;
  ::waitpid(pid_, &status, 0);
  wait_for("\x01");  // collect what is left
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return status_;
}

}  // namespace talwen::testing
