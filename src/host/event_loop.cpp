#include "host/event_loop.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <boost/context/protected_fixedsize_stack.hpp>
#include <cerrno>
#include <system_error>

// Under the address sanitizer, every switch between stacks is told to it.
#if defined(__SANITIZE_ADDRESS__)
#define TALWEN_FIBER_ANNOTATIONS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TALWEN_FIBER_ANNOTATIONS 1
#endif
#endif
#ifdef TALWEN_FIBER_ANNOTATIONS
#include <sanitizer/common_interface_defs.h>
#endif

namespace talwen::host {
namespace {

// A fiber's stack: room for the engine, the database client library and the address
// sanitizer's larger frames; only the pages touched are ever backed by memory.
constexpr size_t kStackSize = 1024 * 1024;
// Stacks kept for reuse beyond the fibers alive.
constexpr size_t kStacksKept = 64;
// Events taken from the epoll set at once.
constexpr int kBatch = 64;
// Helper threads for blocking work, at most.
constexpr size_t kMostHelpers = 64;

// The switch between stacks, told to the address sanitizer (nothing otherwise).
void switch_start([[maybe_unused]] void** fake_stack, [[maybe_unused]] const void* bottom,
                  [[maybe_unused]] size_t size) {
#ifdef TALWEN_FIBER_ANNOTATIONS
  __sanitizer_start_switch_fiber(fake_stack, bottom, size);
#endif
}
void switch_finish([[maybe_unused]] void* fake_stack, [[maybe_unused]] const void** bottom,
                   [[maybe_unused]] size_t* size) {
#ifdef TALWEN_FIBER_ANNOTATIONS
  __sanitizer_finish_switch_fiber(fake_stack, bottom, size);
#endif
}

const void* bottom_of(const boost::context::stack_context& stack) {
  return static_cast<const char*>(stack.sp) - stack.size;
}

// The same conditions in poll(2)'s bits and in epoll's.
constexpr std::pair<short, uint32_t> kEventBits[] = {
    {POLLIN, EPOLLIN},       {POLLOUT, EPOLLOUT}, {POLLPRI, EPOLLPRI},
    {POLLRDHUP, EPOLLRDHUP}, {POLLERR, EPOLLERR}, {POLLHUP, EPOLLHUP},
};

uint32_t epoll_events_of(short events) {
  uint32_t out = 0;
  for (const auto& [poll_bit, epoll_bit] : kEventBits) {
    if (events & poll_bit) out |= epoll_bit;
  }
  return out;
}

short poll_events_of(uint32_t events) {
  short out = 0;
  for (const auto& [poll_bit, epoll_bit] : kEventBits) {
    if (events & epoll_bit) out |= poll_bit;
  }
  return out;
}

}  // namespace

EventLoop::Stacks::~Stacks() {
  boost::context::protected_fixedsize_stack maker(kStackSize);
  for (boost::context::stack_context& stack : free_) maker.deallocate(stack);
}

boost::context::stack_context EventLoop::Stacks::take() {
  if (free_.empty()) return boost::context::protected_fixedsize_stack(kStackSize).allocate();
  const boost::context::stack_context stack = free_.back();
  free_.pop_back();
  return stack;
}

void EventLoop::Stacks::give_back(boost::context::stack_context stack) {
  if (free_.size() < kStacksKept) {
    free_.push_back(stack);
  } else {
    boost::context::protected_fixedsize_stack(kStackSize).deallocate(stack);
  }
}

boost::context::stack_context EventLoop::StackPool::allocate() {
  return stacks->take();
}

EventLoop::EventLoop() {
  epoll_fd_ = ::epoll_create1(EPOLL_CLOEXEC);
  wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  epoll_event event{EPOLLIN, {.ptr = &wake_record_}};
  if (epoll_fd_ < 0 || wake_fd_ < 0 || ::epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, wake_fd_, &event)) {
    const int error = errno;
    for (const int fd : {epoll_fd_, wake_fd_}) {
      if (fd >= 0) ::close(fd);
    }
    throw std::system_error(error, std::generic_category(), "epoll");
  }
  wake_record_.fd = wake_fd_;
}

EventLoop::~EventLoop() {
  {
    std::lock_guard<std::mutex> lock(aside_mutex_);
    helpers_end_ = true;
  }
  aside_cv_.notify_all();
  for (std::thread& helper : helpers_) helper.join();
  ::close(epoll_fd_);
  ::close(wake_fd_);
}

EventLoop::Record& EventLoop::record(int fd) {
  const auto at = static_cast<size_t>(fd);
  if (at >= records_.size()) records_.resize(std::max(at + 1, 2 * records_.size()));
  std::unique_ptr<Record>& r = records_[at];
  if (!r) {
    r = std::make_unique<Record>();
    r->fd = fd;
  }
  return *r;
}

bool EventLoop::update(Record& r, uint32_t events) {
  if (r.registered && r.armed == events) return true;
  r.armed = 0;
  epoll_event event{events | EPOLLONESHOT, {.ptr = &r}};
  if ((r.registered && ::epoll_ctl(epoll_fd_, EPOLL_CTL_MOD, r.fd, &event) == 0) ||
      ::epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, r.fd, &event) == 0 ||
      (errno == EEXIST && ::epoll_ctl(epoll_fd_, EPOLL_CTL_MOD, r.fd, &event) == 0)) {
    r.registered = true;
    r.armed = events;
    return true;
  }
  r.registered = false;
  return false;
}

bool EventLoop::Arm(int fd, void* owner, uint32_t events) {
  Record& r = record(fd);
  if (r.owner != owner) {
    r.owner = owner;
    r.armed = 0;
  }
  return update(r, events);
}

void EventLoop::Forget(int fd) {
  Record& r = record(fd);
  if (r.registered) ::epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, fd, nullptr);
  r.registered = false;
  r.armed = 0;
  r.owner = nullptr;
}

void EventLoop::Wake() {
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t n = ::write(wake_fd_, &one, sizeof(one));
}

// On the fiber's stack, when it first runs.
void EventLoop::entered(Task& task) {
  switch_finish(nullptr, &thread_stack_, &thread_stack_size_);
  current_ = &task;
}

// On the fiber's stack, when it ends: back to the loop for good.
boost::context::fiber EventLoop::leave(Task& task) {
  current_ = nullptr;
  --fibers_;
  switch_start(nullptr, thread_stack_, thread_stack_size_);
  return std::move(task.loop);
}

// On the loop's stack: run a fiber until it parks or ends.
void EventLoop::enter(boost::context::fiber&& fiber, Task* task,
                      const boost::context::stack_context& stack) {
  void* fake_stack = nullptr;
  current_ = task;
  switch_start(&fake_stack, bottom_of(stack), stack.size);
  boost::context::fiber parked = std::move(fiber).resume();
  switch_finish(fake_stack, nullptr, nullptr);
  // Back from the fiber: ended (its stack is gone), or parked with its state in current_.
  if (parked) current_->fiber = std::move(parked);
  current_ = nullptr;
}

// On the fiber's stack: back to the loop until an event or the deadline resumes it.
void EventLoop::park(Task& task) {
  switch_start(&task.fake_stack, thread_stack_, thread_stack_size_);
  task.loop = std::move(task.loop).resume();
  switch_finish(task.fake_stack, &thread_stack_, &thread_stack_size_);
  current_ = &task;
}

bool EventLoop::in_fiber() const {
  return thread_.load(std::memory_order_relaxed) == std::this_thread::get_id() &&
         current_ != nullptr;
}

int EventLoop::Poll(pollfd* fds, nfds_t count, int timeout_ms) {
  if (!in_fiber() || timeout_ms == 0) return ::poll(fds, count, timeout_ms);
  Task* const task = current_;
  // Arm every socket for this fiber; one that cannot be watched here is polled the usual way.
  nfds_t armed = 0;
  for (; armed < count; ++armed) {
    pollfd& p = fds[armed];
    p.revents = 0;
    if (p.fd < 0) continue;
    Record& r = record(p.fd);
    r.parked = task;
    r.revents = 0;
    // A socket of no owner (a database's) may have been closed and its number reused since
    // the loop last saw it: armed afresh each time. An owner's is forgotten before it closes.
    if (r.owner == nullptr) r.armed = 0;
    if (!update(r, epoll_events_of(p.events))) break;
  }
  if (armed < count) {
    for (nfds_t i = 0; i < armed; ++i) {
      if (fds[i].fd >= 0) record(fds[i].fd).parked = nullptr;
    }
    return ::poll(fds, count, timeout_ms);
  }
  task->ready = false;
  if (timeout_ms > 0) {
    task->deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    timed_.push_back(task);
  }
  park(*task);
  if (timeout_ms > 0) {
    timed_.erase(std::find(timed_.begin(), timed_.end(), task));
    task->deadline = Clock::time_point::max();
  }
  int ready = 0;
  for (nfds_t i = 0; i < count; ++i) {
    pollfd& p = fds[i];
    if (p.fd < 0) continue;
    Record& r = record(p.fd);
    r.parked = nullptr;
    p.revents = r.revents;
    r.revents = 0;
    ready += p.revents != 0;
    // A socket still armed stays so: a late event finds no fiber and goes to its owner, or
    // nowhere, and disarms it.
  }
  return ready;
}

void EventLoop::Aside(const std::function<void()>& work) {
  if (!in_fiber()) return work();
  AsideJob job{&work, nullptr, ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
  bool queued = false;
  if (job.done_fd >= 0) {
    std::lock_guard<std::mutex> lock(aside_mutex_);
    if (helpers_idle_ == 0 && helpers_.size() < kMostHelpers) {
      try {
        helpers_.emplace_back([this] { help(); });
      } catch (const std::system_error&) {
        // No thread to be had now: the helpers there are take it in turn.
      }
    }
    if (!helpers_.empty()) {
      aside_jobs_.push_back(&job);
      queued = true;
    }
  }
  if (!queued) {
    if (job.done_fd >= 0) ::close(job.done_fd);
    return work();  // here, then, holding the loop
  }
  aside_cv_.notify_one();
  pollfd done{job.done_fd, POLLIN, 0};
  uint64_t count = 0;
  while (::read(job.done_fd, &count, sizeof(count)) != sizeof(count)) Poll(&done, 1, -1);
  ::close(job.done_fd);
  if (job.failure) std::rethrow_exception(job.failure);
}

void EventLoop::help() {
  std::unique_lock<std::mutex> lock(aside_mutex_);
  for (;;) {
    ++helpers_idle_;
    aside_cv_.wait(lock, [this] { return helpers_end_ || !aside_jobs_.empty(); });
    --helpers_idle_;
    if (aside_jobs_.empty()) return;
    AsideJob* job = aside_jobs_.front();
    aside_jobs_.pop_front();
    lock.unlock();
    try {
      (*job->work)();
    } catch (...) {
      job->failure = std::current_exception();
    }
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(job->done_fd, &one, sizeof(one));
    lock.lock();
  }
}

void EventLoop::Turn(OwnerEvent on_event, void* context, std::chrono::milliseconds max_wait) {
  thread_.store(std::this_thread::get_id(), std::memory_order_relaxed);
  auto wait = max_wait;
  if (!timed_.empty()) {
    Clock::time_point nearest = Clock::time_point::max();
    for (const Task* t : timed_) nearest = std::min(nearest, t->deadline);
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(std::max(nearest - Clock::now(), {}));
    wait = std::min(wait, left);
  }
  epoll_event events[kBatch];
  const int n = ::epoll_wait(epoll_fd_, events, kBatch, static_cast<int>(wait.count()));
  for (int i = 0; i < n; ++i) {
    auto& r = *static_cast<Record*>(events[i].data.ptr);
    if (&r == &wake_record_) {
      uint64_t count;
      [[maybe_unused]] const ssize_t got = ::read(wake_fd_, &count, sizeof(count));
      continue;
    }
    r.armed = 0;
    if (r.parked != nullptr) {
      // Resumed after the batch: another event of this batch may be for the same fiber.
      r.revents |= poll_events_of(events[i].events);
      if (!r.parked->ready) {
        r.parked->ready = true;
        ready_.push_back(r.parked);
      }
    } else if (r.owner != nullptr) {
      on_event(context, r.owner, events[i].events);
    }
  }
  if (!timed_.empty()) {
    const auto now = Clock::now();
    for (Task* t : timed_) {
      if (t->deadline <= now && !t->ready) {
        t->ready = true;
        ready_.push_back(t);
      }
    }
  }
  // Resume in order; a fiber resumed may park again and be made ready by a later Turn only.
  std::vector<Task*> resume;
  resume.swap(ready_);
  for (Task* t : resume) {
    t->ready = false;
    enter(std::move(t->fiber), t, t->stack);
  }
  resume.clear();
  if (ready_.empty()) ready_.swap(resume);  // keep the capacity
}

}  // namespace talwen::host
