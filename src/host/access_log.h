// The gateway's access log: one line per answer, written in blocks rather than line by line.
//
//   10.1.1.7 2009-01-05T10:15:01.123+0100 POST /talwen/http_talwen.asp rf_adjust_carton_qty 200
//   57 3.214ms
//   10.1.1.7 2009-01-05T10:15:31.140+0100 POST /talwen/http_talwen.asp rf_adjust_carton_qty 200
//   0 30007.412ms "timeout"
//
// Each worker thread fills a buffer of its own (no lock shared by all workers). A buffer goes
// out when flush() is called (the gateway's housekeeping does so several times a second, on its
// own thread, so a line waits less than a second and a slow log holds up no answer), when the
// log is destroyed, and, written by its worker, when it grows past a megabyte. Every block
// holds whole lines, so lines never mix; lines of different workers may appear slightly out of
// time order.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace talwen::host {

// What one access-log line says.
struct AccessEntry {
  std::string_view peer;
  std::string_view method;    // "" when the request could not be read
  std::string_view path;      // without the query string
  std::string_view function;  // the session value "function"
  int status = 0;
  size_t body_bytes = 0;
  std::chrono::steady_clock::duration took{};  // from the request's arrival to its answer
  std::string_view reason;  // why the request failed (the Talwen-Error header); "" if it did not
};

// Append the line (with its line end) for entry, stamped with when (local time).
void AppendAccessLine(std::string& out, const AccessEntry& entry,
                      std::chrono::system_clock::time_point when);

class AccessLog {
 public:
  // sink receives blocks of whole lines, each ending in "\n".
  AccessLog(size_t writers, std::function<void(std::string_view lines)> sink);
  ~AccessLog();
  AccessLog(const AccessLog&) = delete;
  AccessLog& operator=(const AccessLog&) = delete;

  // Add the line for entry to writer's buffer (writer < the count given; one thread each).
  void add(size_t writer, const AccessEntry& entry);
  // Write out everything buffered.
  void flush();

 private:
  struct Buffer {
    std::mutex mutex;  // the writer's own and flush(); never contended by other writers
    std::string lines;
    std::mutex writing;  // held while a block of it is written
    std::string out;     // that block
  };
  void write(Buffer& buffer);

  std::vector<std::unique_ptr<Buffer>> buffers_;
  std::function<void(std::string_view)> sink_;
};

}  // namespace talwen::host
