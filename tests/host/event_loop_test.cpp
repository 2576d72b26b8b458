#include "host/event_loop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "db/turn_waiters.h"

namespace talwen::host {
namespace {

using std::chrono::milliseconds;

struct Pipe {
  int read = -1, write = -1;
  Pipe() {
    int fds[2];
    if (::pipe(fds) == 0) {
      read = fds[0];
      write = fds[1];
    }
  }
  ~Pipe() { close(); }
  void close() {
    if (read >= 0) ::close(read);
    if (write >= 0) ::close(write);
    read = write = -1;
  }
  void put() const { ASSERT_EQ(::write(write, "x", 1), 1); }
  void take() const {
    char c;
    ASSERT_EQ(::read(read, &c, 1), 1);
  }
};

// Owners' events, as the loop handed them out.
struct Owned {
  std::vector<std::pair<void*, uint32_t>> events;
  static void record(void* self, void* owner, uint32_t events) {
    static_cast<Owned*>(self)->events.emplace_back(owner, events);
  }
};

class EventLoopTest : public ::testing::Test {
 protected:
  // Turn until done() or a second has passed.
  template <typename Done>
  bool TurnUntil(Done done) {
    const auto end = EventLoop::Clock::now() + std::chrono::seconds(1);
    while (!done() && EventLoop::Clock::now() < end) {
      loop_.Turn(&Owned::record, &owned_, milliseconds(10));
    }
    return done();
  }

  EventLoop loop_;
  Owned owned_;
};

TEST_F(EventLoopTest, AParkedFiberLetsTheOthersRunAndResumesOnItsSocket) {
  Pipe first, second;
  std::vector<std::string> steps;
  short seen = 0;
  loop_.Spawn([&] {
    steps.push_back("first waits");
    pollfd p{first.read, POLLIN, 0};
    EXPECT_EQ(loop_.Poll(&p, 1, -1), 1);
    seen = p.revents;
    steps.push_back("first resumed");
  });
  loop_.Spawn([&] {
    steps.push_back("second waits");
    pollfd p{second.read, POLLIN, 0};
    loop_.Poll(&p, 1, -1);
    steps.push_back("second resumed");
  });
  EXPECT_EQ(loop_.fibers(), 2u) << "both parked; Spawn returned";
  second.put();
  ASSERT_TRUE(TurnUntil([&] { return steps.size() == 3; }));
  first.put();
  ASSERT_TRUE(TurnUntil([&] { return loop_.fibers() == 0; }));
  EXPECT_EQ(steps, (std::vector<std::string>{"first waits", "second waits", "second resumed",
                                             "first resumed"}));
  EXPECT_EQ(seen, POLLIN);
}

TEST_F(EventLoopTest, TimeOutsResumeWithNothingReadyAndOutsideAFiberPollIsPoll) {
  Pipe quiet;
  int got = -1;
  EventLoop::Clock::duration waited{};
  loop_.Spawn([&] {
    const auto start = EventLoop::Clock::now();
    pollfd p{quiet.read, POLLIN, 0};
    got = loop_.Poll(&p, 1, 30);
    waited = EventLoop::Clock::now() - start;
  });
  ASSERT_TRUE(TurnUntil([&] { return loop_.fibers() == 0; }));
  EXPECT_EQ(got, 0);
  EXPECT_GE(waited, milliseconds(30));

  // On the test's own thread, no fiber: the plain system call.
  quiet.put();
  pollfd p{quiet.read, POLLIN, 0};
  EXPECT_EQ(loop_.Poll(&p, 1, 0), 1);
  EXPECT_EQ(p.revents, POLLIN);
}

TEST_F(EventLoopTest, TwoSocketsReadyAtOnceResumeTheFiberOnceAndItCanParkAgain) {
  Pipe a, b;
  int resumed = 0;
  short first_a = 0, first_b = 0;
  bool done = false;
  loop_.Spawn([&] {
    pollfd p[2] = {{a.read, POLLIN, 0}, {b.read, POLLIN, 0}};
    EXPECT_EQ(loop_.Poll(p, 2, -1), 2);
    ++resumed;
    first_a = p[0].revents;
    first_b = p[1].revents;
    a.take();
    b.take();
    // Nothing is ready now: this must park, not return at once on a stale wake-up.
    pollfd again{a.read, POLLIN, 0};
    EXPECT_EQ(loop_.Poll(&again, 1, -1), 1);
    ++resumed;
    done = true;
  });
  a.put();
  b.put();
  ASSERT_TRUE(TurnUntil([&] { return resumed == 1; }));
  for (int i = 0; i < 3; ++i) loop_.Turn(&Owned::record, &owned_, milliseconds(5));
  EXPECT_EQ(resumed, 1) << "parked again until its socket is ready";
  EXPECT_EQ(first_a, POLLIN);
  EXPECT_EQ(first_b, POLLIN);
  a.put();
  ASSERT_TRUE(TurnUntil([&] { return done; }));
}

TEST_F(EventLoopTest, AnOwnersSocketGoesToTheParkedFiberThenBackToItsOwner) {
  Pipe owned, other;
  int owner_tag = 0;
  ASSERT_TRUE(loop_.Arm(owned.read, &owner_tag, EPOLLIN));
  bool resumed = false;
  short owned_revents = -1;
  loop_.Spawn([&] {
    pollfd p[2] = {{other.read, POLLIN, 0}, {owned.read, POLLIN, 0}};
    loop_.Poll(p, 2, -1);
    owned_revents = p[1].revents;
    resumed = true;
  });
  other.put();
  ASSERT_TRUE(TurnUntil([&] { return resumed; }));
  EXPECT_EQ(owned_revents, 0);
  // The fiber has ended; the owner's socket, still armed by it, now reports to the owner.
  owned.put();
  ASSERT_TRUE(TurnUntil([&] { return !owned_.events.empty(); }));
  EXPECT_EQ(owned_.events.front().first, &owner_tag);
  loop_.Forget(owned.read);
}

TEST_F(EventLoopTest, ASocketNumberUsedAgainIsWatchedAgain) {
  // A database connection closed elsewhere leaves the loop's record of its number behind; the
  // next socket of that number must still be armed when a fiber waits on it.
  auto wait_once = [&](const Pipe& pipe) {
    bool resumed = false;
    loop_.Spawn([&] {
      pollfd p{pipe.read, POLLIN, 0};
      loop_.Poll(&p, 1, -1);
      resumed = true;
    });
    pipe.put();
    return TurnUntil([&] { return resumed; });
  };
  auto old_pipe = std::make_unique<Pipe>();
  const int number = old_pipe->read;
  // Armed, and woken by something else: still armed when its socket closes.
  bool resumed = false;
  loop_.Spawn([&] {
    pollfd p{old_pipe->read, POLLIN, 0};
    loop_.Poll(&p, 1, 20);
    resumed = true;
  });
  ASSERT_TRUE(TurnUntil([&] { return resumed; }));
  old_pipe.reset();
  Pipe reused;
  ASSERT_EQ(reused.read, number) << "the system gives the lowest free number";
  EXPECT_TRUE(wait_once(reused));
}

TEST_F(EventLoopTest, AsideRunsOnAnotherThreadAndItsFailureReachesTheFiber) {
  std::thread::id ran_on;
  std::string caught;
  loop_.Spawn([&] {
    loop_.Aside([&] { ran_on = std::this_thread::get_id(); });
    try {
      loop_.Aside([] { throw std::runtime_error("driver failed"); });
    } catch (const std::runtime_error& e) {
      caught = e.what();
    }
  });
  ASSERT_TRUE(TurnUntil([&] { return loop_.fibers() == 0; }));
  EXPECT_NE(ran_on, std::this_thread::get_id());
  EXPECT_NE(ran_on, std::thread::id());
  EXPECT_EQ(caught, "driver failed");
}

// Turns handed out through the loop (a pooled connection, a call slot): the first in line gets
// the turn that ends, a wait with nothing ending times out, and the eventfds its waits use are
// kept for the next ones without carrying a wake-up over or piling up.
TEST_F(EventLoopTest, TurnsGoToTheFirstInLineAndTheWaitsLeaveNothingBehind) {
  std::mutex mutex;
  db::TurnWaiters turns;
  int free_turns = 0;
  std::vector<std::string> got;
  auto wait_for_turn = [&](std::string name, milliseconds patience) {
    loop_.Spawn([&, name, patience] {
      std::unique_lock<std::mutex> lock(mutex);
      const bool turn = turns.Wait(lock, &loop_, EventLoop::Clock::now() + patience,
                                   [&] { return free_turns > 0; });
      if (turn) --free_turns;
      got.push_back(name + (turn ? " got it" : " gave up"));
    });
  };
  auto end_turn = [&] {
    std::lock_guard<std::mutex> lock(mutex);
    ++free_turns;
    turns.NotifyOne();
  };
  const auto open_fds = [] {
    size_t n = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
      n += entry.exists() ? 1 : 0;
    }
    return n;
  };

  wait_for_turn("first", std::chrono::seconds(5));
  wait_for_turn("second", std::chrono::seconds(5));
  end_turn();
  ASSERT_TRUE(TurnUntil([&] { return got.size() == 1; }));
  EXPECT_EQ(loop_.fibers(), 1u) << "one turn ended, one waiter woken";
  end_turn();
  ASSERT_TRUE(TurnUntil([&] { return loop_.fibers() == 0; }));
  EXPECT_EQ(got, (std::vector<std::string>{"first got it", "second got it"}));

  // Many waits later, no descriptor more than after the first ones, and a wait that nobody
  // ends sleeps its time out: no wake-up left over from an earlier wait spins it.
  const size_t before = open_fds();
  for (int i = 0; i < 50; ++i) {
    wait_for_turn("again", std::chrono::seconds(5));
    end_turn();
    ASSERT_TRUE(TurnUntil([&] { return loop_.fibers() == 0; }));
  }
  EXPECT_LE(open_fds(), before);
  got.clear();
  const auto cpu_time = [] {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return milliseconds(t.tv_sec * 1000 + t.tv_nsec / 1000000);
  };
  const auto start = EventLoop::Clock::now();
  const auto cpu_start = cpu_time();
  wait_for_turn("last", milliseconds(100));
  ASSERT_TRUE(TurnUntil([&] { return loop_.fibers() == 0; }));
  EXPECT_EQ(got, (std::vector<std::string>{"last gave up"}));
  EXPECT_GE(EventLoop::Clock::now() - start, milliseconds(100));
  EXPECT_LT(cpu_time() - cpu_start, milliseconds(50));
}

}  // namespace
}  // namespace talwen::host
