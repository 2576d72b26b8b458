// Harness: the engine wired to a scripted database, an INI file in a temporary folder and a
// fixed clock, for tests that go through Process.
#pragma once

#include <chrono>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "frame/call.h"
#include "frame/config.h"
#include "frame/main.h"
#include "support/scripted_provider.h"

namespace talwen::testing {

// A folder under the system's temporary folder, removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }
  void write(std::string_view name, std::string_view text) const;
  // The file's text, "" when it is missing.
  std::string read(std::string_view name) const;

 private:
  std::string path_;
};

class Harness {
 public:
  // The INI file holds [veldrawms] with "Provider=Scripted" and the GENERAL lines given.
  explicit Harness(std::string general_section = "");

  // Run Process with a session of these values (in order) and the request's server
  // variables SERVER_NAME=rf.example and REMOTE_ADDR=10.1.1.7.
  std::string call(std::initializer_list<std::pair<std::string, std::string>> values);
  std::string call(Session& session);

  // The INI file's text (rewrite it to change the configuration).
  void write_ini(std::string_view text);
  std::string log_text() const;  // the text of today's trace file, "" when none
  std::string log_path() const;  // the date-stamped trace file of the fixed day

  std::shared_ptr<ScriptedDatabase> db = std::make_shared<ScriptedDatabase>();
  Request request;
  Session session;  // the session of the last call(values...), as Process left it
  TempDir dir;
  ConfigFile config;
  db::Connector connector;
  Environment env;
  std::vector<std::string> failures;  // handler failures the frame reported
  std::string last_failure() const { return failures.empty() ? "" : failures.back(); }
  Failure failure;  // why the last call failed (Main::failure)

  // The fixed clock: 2009-01-05 10:15:01 local time.
  static std::chrono::system_clock::time_point fixed_now();
};

}  // namespace talwen::testing
