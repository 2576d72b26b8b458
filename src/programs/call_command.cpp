// talwen call: one Process call from the command line.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "frame/main.h"
#include "programs/program.h"

namespace talwen::program {
namespace {

constexpr const char* kUsage =
    "usage: talwen call [--config FILE] [--server NAME=VALUE]... [--show-session] "
    "[KEY=VALUE]...\n"
    "  Builds a session of the KEY=VALUE pairs (in order; keys case-insensitive), calls the\n"
    "  engine once and writes its reply to standard output, nothing added.\n"
    "  --config FILE         the INI file (default: the one beside the program)\n"
    "  --server NAME=VALUE   a request server variable (SERVER_NAME defaults to localhost,\n"
    "                        REMOTE_ADDR to 127.0.0.1)\n"
    "  --show-session        after the call, write each session value left to standard\n"
    "                        error as a line KEY=VALUE\n";

int usage(const std::string& problem) {
  std::cerr << "talwen call: " << problem << "\n" << kUsage;
  return 2;
}

}  // namespace

int CallCommand(int argc, char** argv) {
  std::string config_path;
  bool show_session = false;
  Session session;
  Request request;
  request.server_variables.set("SERVER_NAME", "localhost");
  request.server_variables.set("REMOTE_ADDR", "127.0.0.1");

  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--config" || arg == "--server") {
      if (i + 1 >= argc) return usage(arg + " needs a value");
      const std::string value = argv[++i];
      if (arg == "--config") {
        config_path = value;
      } else if (const auto pair = SplitAssignment(value)) {
        request.server_variables.set(pair->first, pair->second);
      } else {
        return usage("--server takes NAME=VALUE, not '" + value + "'");
      }
    } else if (arg == "--show-session") {
      show_session = true;
    } else if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg.starts_with("--")) {
      return usage("unknown option " + arg);
    } else if (const auto pair = SplitAssignment(arg)) {
      session.set(pair->first, pair->second);
    } else {
      return usage("expected KEY=VALUE, not '" + arg + "'");
    }
  }

  Engine engine(config_path);
  Main main(engine.environment());
  const std::string reply = main.Process(session, request);
  std::fwrite(reply.data(), 1, reply.size(), stdout);
  std::fflush(stdout);
  if (show_session) {
    for (const auto& [key, value] : session.items()) std::cerr << key << '=' << value << '\n';
  }
  return 0;
}

}  // namespace talwen::program
