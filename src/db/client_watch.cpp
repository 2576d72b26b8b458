#include "db/client_watch.h"

#include <poll.h>
#include <sys/ioctl.h>

namespace talwen::db {

bool ClientWatch::Judge(short revents) {
  const int fd = fd_.load(std::memory_order_relaxed);
  if (fd < 0 || revents == 0) return false;
  bool left = (revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
  if (!left && (revents & POLLRDHUP)) {
    // The client ended its sending side. Bytes still unread are a further request sent
    // behind this one: that client waits for its answers.
    int unread = 0;
    left = ::ioctl(fd, FIONREAD, &unread) != 0 || unread == 0;
  }
  if (left) {
    MarkGone();
  } else {
    fd_.store(-1, std::memory_order_relaxed);
  }
  return left;
}

}  // namespace talwen::db
