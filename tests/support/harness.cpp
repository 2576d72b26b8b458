#include "support/harness.h"
#include "functions/function_table.h"

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace talwen::testing {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "talwen-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary folder");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void TempDir::write(std::string_view name, std::string_view text) const {
  std::ofstream out(file(name), std::ios::binary | std::ios::trunc);
  out << text;
}

std::string TempDir::read(std::string_view name) const {
  std::ifstream in(file(name), std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::chrono::system_clock::time_point Harness::fixed_now() {
  std::tm tm{};
  tm.tm_year = 2009 - 1900;
  tm.tm_mon = 0;
  tm.tm_mday = 5;
  tm.tm_hour = 10;
  tm.tm_min = 15;
  tm.tm_sec = 1;
  tm.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&tm));
}

Harness::Harness(std::string general_section) : config(dir.file("talwen.INI")) {
  write_ini("[veldrawms]\nProvider=Scripted\n[GENERAL]\n" + general_section);
  connector.add("Scripted", std::make_shared<ScriptedProvider>(db));
  env.config = &config;
  env.connector = &connector;
  env.functions = &RfFunctions();
  env.component = {"Talwen RF Engine", "Talwen", "talwen", "1.0.0", "/opt/talwen"};
  env.now = fixed_now;
  env.report_failure = [this](std::string_view function, std::string_view what) {
    failures.push_back(std::string(function) + ": " + std::string(what));
  };
  request.server_variables.set("SERVER_NAME", "rf.example");
  request.server_variables.set("REMOTE_ADDR", "10.1.1.7");
}

void Harness::write_ini(std::string_view text) {
  dir.write("talwen.INI", text);
  // Make the change visible to the cache even within one clock tick.
  std::filesystem::last_write_time(config.path(), std::filesystem::file_time_type::clock::now());
}

std::string Harness::call(std::initializer_list<std::pair<std::string, std::string>> values) {
  session = Session("S1");
  for (const auto& [key, value] : values) session.set(key, value);
  return call(session);
}

std::string Harness::call(Session& s) {
  Main main(env);
  std::string reply = main.Process(s, request);
  failure = main.failure();
  return reply;
}

std::string Harness::log_path() const {
  return dir.file("trace_20090105.log");
}

std::string Harness::log_text() const {
  return dir.read("trace_20090105.log");
}

}  // namespace talwen::testing
