#include "host/access_log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace talwen::host {
namespace {

TEST(AccessLog, ASlowLogHoldsUpNoWriterAndEachWritersLinesStayInOrder) {
  std::mutex mutex;
  std::condition_variable changed;
  bool writing = false, release = false;
  std::vector<std::string> blocks;
  AccessLog log(1, [&](std::string_view lines) {
    std::unique_lock<std::mutex> lock(mutex);
    blocks.emplace_back(lines);
    writing = true;
    changed.notify_all();
    changed.wait(lock, [&] { return release; });
  });
  const auto line = [](std::string_view path) {
    return AccessEntry{"10.1.1.7", "GET", path, "", 200, 0, {}, {}};
  };

  log.add(0, line("/first"));
  std::thread housekeeping([&] { log.flush(); });
  {
    std::unique_lock<std::mutex> lock(mutex);
    ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(5), [&] { return writing; }));
  }
  // The log is stuck writing the first block; the worker's next answer is not.
  std::atomic<bool> added{false};
  std::thread worker([&] {
    log.add(0, line("/second"));
    added = true;
  });
  for (int i = 0; i < 100 && !added; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(added) << "the worker waited for the log";
  {
    std::lock_guard<std::mutex> lock(mutex);
    release = true;
  }
  changed.notify_all();
  housekeeping.join();
  worker.join();
  log.flush();

  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_NE(blocks[0].find(" /first "), std::string::npos) << blocks[0];
  EXPECT_EQ(blocks[0].find("/second"), std::string::npos) << blocks[0];
  EXPECT_NE(blocks[1].find(" /second "), std::string::npos) << blocks[1];
}

}  // namespace
}  // namespace talwen::host
