#include "programs/service_notify.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>

namespace talwen::program {

ServiceNotifier::ServiceNotifier(const char* notify_socket) {
  const std::string_view value = notify_socket == nullptr ? "" : notify_socket;
  if (value.empty()) return;
  if (value.front() != '/' && value.front() != '@') {
    problem_ = "NOTIFY_SOCKET is neither a path nor an abstract socket name; not used";
    return;
  }
  if (value.size() < 2 || value.size() >= sizeof(sockaddr_un::sun_path)) {
    problem_ = "NOTIFY_SOCKET is too short or too long for a socket address; not used";
    return;
  }
  address_ = std::string(value);
  if (address_.front() == '@') address_.front() = '\0';
}

bool ServiceNotifier::notify(std::string_view message) const {
  if (address_.empty() || message.empty()) return false;
  const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_un to{};
  to.sun_family = AF_UNIX;
  std::memcpy(to.sun_path, address_.data(), address_.size());
  // An abstract name is exactly its bytes; a path may carry its terminating zero.
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + address_.size() +
                                             (address_.front() == '\0' ? 0 : 1));
  const ssize_t sent = ::sendto(fd, message.data(), message.size(), MSG_NOSIGNAL,
                                reinterpret_cast<const sockaddr*>(&to), length);
  ::close(fd);
  return sent == static_cast<ssize_t>(message.size());
}

}  // namespace talwen::program
