// EventLoop: one worker thread's epoll set, and the requests it runs as fibers.
//
// A request runs on a fiber of its own. When it has to wait for a socket (its database
// answering), Poll parks the fiber in the loop's epoll set and the thread goes on with the
// other requests; the socket's readiness resumes the fiber where it stopped, on the same
// thread. So a thread sleeps only when none of its requests can go on, and one wake-up may
// serve several: the thread switches per database round trip are gone. A fiber never moves to
// another thread.
//
// Every socket in the epoll set has a record of the loop's own, found by its number: the owner
// the host registered it for (a client connection), and the fiber parked on it, if any. An
// event goes to the parked fiber first, else to the owner. Records outlive the sockets, so a
// late event for a socket that has moved on finds a record, never freed memory.
//
// Everything but Wake runs on the loop's thread.
#pragma once

#include <poll.h>
#include <sys/epoll.h>

#include <atomic>
#include <boost/context/fiber.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "db/client_watch.h"

namespace talwen::host {

class EventLoop final : public db::Waiter {
 public:
  using Clock = std::chrono::steady_clock;
  // What an owner's event handler receives: the owner and the epoll events.
  using OwnerEvent = void (*)(void* context, void* owner, uint32_t events);

  EventLoop();  // throws std::system_error
  ~EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Register fd for owner with these epoll events (one-shot added), or change them.
  // False when epoll refuses.
  bool Arm(int fd, void* owner, uint32_t events);
  // Forget fd (before it is closed).
  void Forget(int fd);

  // Run fn on a fiber of its own, now; returns when fn has ended or waits. fn must not throw.
  template <typename Fn>
  void Spawn(Fn&& fn) {
    thread_.store(std::this_thread::get_id(), std::memory_order_relaxed);
    boost::context::stack_context stack = stacks_.take();
    boost::context::fiber fiber(
        std::allocator_arg, boost::context::preallocated(stack.sp, stack.size, stack),
        StackPool{&stacks_},
        [this, stack, fn = std::forward<Fn>(fn)](boost::context::fiber&& loop) mutable {
          Task task;
          task.stack = stack;
          task.loop = std::move(loop);
          entered(task);
          try {
            fn();
          } catch (...) {
            // fn's own business; nothing may unwind past a fiber.
          }
          return leave(task);
        });
    ++fibers_;
    enter(std::move(fiber), nullptr, stack);
  }

  // Wait for events (at most until the nearest parked deadline, and at most max_wait) and
  // run what they resume: parked fibers, and owners' events through on_event.
  void Turn(OwnerEvent on_event, void* context, std::chrono::milliseconds max_wait);
  // Make the loop's current or next Turn return (from any thread).
  void Wake();

  // poll(2) for the fiber running now: parks it until an fd is ready or the time-out passes.
  // Outside a fiber of this loop (another thread among others) it is ::poll itself.
  int Poll(pollfd* fds, nfds_t count, int timeout_ms) override;
  // Run work on a helper thread of the loop while the fiber is parked; outside a fiber of
  // this loop, here.
  void Aside(const std::function<void()>& work) override;

  // Fibers started and not ended (running or parked).
  size_t fibers() const { return fibers_; }

 private:
  struct Task;
  // The loop's record of one socket number.
  struct Record {
    int fd = -1;
    bool registered = false;  // in the epoll set (as far as the loop knows)
    uint32_t armed = 0;       // the events it is armed for (0: none may come)
    void* owner = nullptr;
    Task* parked = nullptr;  // the fiber waiting on it
    short revents = 0;       // what it reported to that fiber
  };
  // A fiber's state, on its own stack.
  struct Task {
    boost::context::fiber fiber;  // the fiber, as the loop resumes it
    boost::context::fiber loop;   // the loop, as the fiber goes back to it
    boost::context::stack_context stack;
    bool ready = false;  // an event or its deadline came: resume it after this batch
    Clock::time_point deadline = Clock::time_point::max();
    void* fake_stack = nullptr;  // the address sanitizer's, while the fiber is away
  };
  // Stacks kept for the next fibers: taking one is cheap, making one is a mapping.
  class Stacks {
   public:
    ~Stacks();
    boost::context::stack_context take();
    void give_back(boost::context::stack_context stack);

   private:
    std::vector<boost::context::stack_context> free_;
  };
  struct StackPool {  // boost::context's stack-allocator shape, over Stacks
    Stacks* stacks;
    boost::context::stack_context allocate();
    void deallocate(boost::context::stack_context& stack) { stacks->give_back(stack); }
  };

  // Work run aside, and how its fiber learns it is done.
  struct AsideJob {
    const std::function<void()>* work;
    std::exception_ptr failure;
    int done_fd;  // eventfd
  };
  void help();

  // Is this a fiber of this loop, on its thread?
  bool in_fiber() const;
  Record& record(int fd);
  bool update(Record& r, uint32_t events);
  void entered(Task& task);
  boost::context::fiber leave(Task& task);
  void enter(boost::context::fiber&& fiber, Task* task, const boost::context::stack_context& stack);
  void park(Task& task);

  int epoll_fd_ = -1;
  int wake_fd_ = -1;
  Record wake_record_;
  std::vector<std::unique_ptr<Record>> records_;  // by socket number
  Stacks stacks_;
  std::atomic<std::thread::id> thread_{};  // the loop's thread, once it has turned
  Task* current_ = nullptr;                // the fiber running now
  std::vector<Task*> ready_;
  std::vector<Task*> timed_;  // parked fibers with a deadline
  size_t fibers_ = 0;
  // The thread's own stack, for the address sanitizer's bookkeeping of the switches.
  const void* thread_stack_ = nullptr;
  size_t thread_stack_size_ = 0;
  // The helper threads, started as blocking work needs them.
  std::mutex aside_mutex_;
  std::condition_variable aside_cv_;
  std::deque<AsideJob*> aside_jobs_;
  std::vector<std::thread> helpers_;
  size_t helpers_idle_ = 0;
  bool helpers_end_ = false;
};

}  // namespace talwen::host
