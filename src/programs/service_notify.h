// ServiceNotifier: tells the service manager how the server is doing, by the datagram
// protocol of systemd's sd_notify: "READY=1" once the listening socket is bound,
// "STOPPING=1" when a stop begins. The manager names its socket in NOTIFY_SOCKET (a path, or
// "@name" in the abstract namespace); without it the notifier stays silent.
#pragma once

#include <string>
#include <string_view>

namespace talwen::program {

class ServiceNotifier {
 public:
  // Take the socket from the value of NOTIFY_SOCKET; nullptr or "" leaves the notifier
  // silent, and so does a value that is no socket address (see problem()).
  explicit ServiceNotifier(const char* notify_socket);

  // Send one message, such as "READY=1\nSTATUS=listening". False when silent or when the
  // manager could not be reached.
  bool notify(std::string_view message) const;

  // Why a NOTIFY_SOCKET value was not used; "" when it was, or when there was none.
  const std::string& problem() const { return problem_; }

 private:
  std::string address_;  // the bytes of sun_path; a leading '\0' for the abstract namespace
  std::string problem_;
};

}  // namespace talwen::program
