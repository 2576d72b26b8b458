// talwen serve: the HTTP gateway the handheld pages post to.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <string>
#include <string_view>

#include "base/dates.h"
#include "db/pool.h"
#include "host/http_gateway.h"
#include "programs/program.h"
#include "programs/service_notify.h"

namespace talwen::program {
namespace {

constexpr const char* kUsage =
    "usage: talwen serve [--config FILE] [--listen HOST:PORT] [--threads N] [--www DIR]\n"
    "  Serves the engine over HTTP until SIGTERM or SIGINT; the pages post to\n"
    "  /talwen/http_talwen.asp. Access log on standard output, messages on standard error.\n"
    "  --config FILE        the INI file (default: the one beside the program); the gateway's\n"
    "                       [GENERAL] keys are read once, at start\n"
    "  --listen HOST:PORT   the address to listen on (default 127.0.0.1:8080; [::]:8080 for\n"
    "                       every address)\n"
    "  --threads N          requests served at once (default: the [GENERAL] POOL SIZE,\n"
    "                       16 unless set)\n"
    "  --www DIR            also serve the static files of DIR at /\n";

int usage(const std::string& problem) {
  std::cerr << "talwen serve: " << problem << "\n" << kUsage;
  return 2;
}

// One line on standard error, stamped with the local time, written at once.
void say(std::string_view text) {
  const std::string line =
      local_iso_stamp(std::chrono::system_clock::now()) + " " + std::string(text) + "\n";
  [[maybe_unused]] const ssize_t n = ::write(2, line.data(), line.size());
}

bool parse_int(std::string_view text, long min, long max, long& out) {
  long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return false;
  if (value < min || value > max) return false;
  out = value;
  return true;
}

// "127.0.0.1:8080", "[::]:8080", "rf-gw:80".
bool parse_listen(std::string_view text, std::string& host, int& port) {
  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  std::string_view name = text.substr(0, colon);
  if (name.front() == '[') {
    if (name.size() < 3 || name.back() != ']') return false;
    name = name.substr(1, name.size() - 2);
  } else if (name.find(':') != std::string_view::npos) {
    return false;  // a bare IPv6 address needs brackets
  }
  long number = 0;
  if (!parse_int(text.substr(colon + 1), 0, 65535, number)) return false;
  host = std::string(name);
  port = static_cast<int>(number);
  return true;
}

// Allow as many open files as the system lets this process have: every connection held open
// is one.
void raise_file_limit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
}

}  // namespace

int ServeCommand(int argc, char** argv) {
  std::string config_path;
  host::GatewayOptions options;
  bool threads_given = false;
  for (int i = 0; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (arg != "--config" && arg != "--listen" && arg != "--threads" && arg != "--www") {
      return usage(arg.starts_with("--") ? "unknown option " + arg
                                         : "unexpected argument '" + arg + "'");
    }
    if (i + 1 >= argc) return usage(arg + " needs a value");
    const std::string value = argv[++i];
    if (arg == "--config") {
      config_path = value;
    } else if (arg == "--listen") {
      if (!parse_listen(value, options.host, options.port)) {
        return usage("--listen takes HOST:PORT, not '" + value + "'");
      }
    } else if (arg == "--threads") {
      threads_given = true;
      long threads = 0;
      if (!parse_int(value, 1, 1024, threads)) {
        return usage("--threads takes a number from 1 to 1024, not '" + value + "'");
      }
      options.threads = static_cast<size_t>(threads);
    } else {
      if (value.empty()) return usage("--www needs a folder");
      options.www_dir = value;
    }
  }

  // SIGTERM and SIGINT are taken by sigwait below: block them before any thread starts, so
  // every thread inherits the mask.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  raise_file_limit();

  Engine engine(config_path);
  engine.environment().report_failure = [](std::string_view function, std::string_view what) {
    say("handler " + std::string(function) + " failed: " + std::string(what));
  };
  const auto ini = engine.config().snapshot();
  if (!ini) {
    say("no configuration file at " + engine.config().path() +
        "; requests will fail to connect to a database");
  }
  const std::string problem = host::ApplyGeneralSettings(ini.get(), options);
  if (!problem.empty()) {
    std::cerr << "talwen serve: " << engine.config().path() << ": [GENERAL] " << problem << "\n";
    return 1;
  }
  options.server_log = say;
  // As many workers as the database pool keeps connections, so that a busy gateway neither
  // waits for nor reopens connections.
  if (!threads_given) {
    const int pool_size = db::ReadPoolSettings(ini.get()).size;
    if (pool_size > 0) options.threads = static_cast<size_t>(pool_size);
  }

  host::HttpGateway gateway(engine.environment(), options);
  try {
    gateway.start();
  } catch (const std::exception& e) {
    std::cerr << "talwen serve: " << e.what() << "\n";
    return 1;
  }
  const bool v6 = options.host.find(':') != std::string::npos;
  const std::string address =
      (v6 ? "[" + options.host + "]" : options.host) + ":" + std::to_string(gateway.port());
  say("listening on http://" + address + std::string(host::kGatewayPath) + " with " +
      std::to_string(options.threads) + " requests at once on " +
      std::to_string(gateway.workers()) + (gateway.workers() == 1 ? " worker" : " workers") +
      "; clients " + options.allowed.text() + "; diagnostics " + options.diagnostics.text() +
      (options.trusted_proxies.empty()
           ? std::string()
           : "; client addresses forwarded by " + options.trusted_proxies.text()));
  // The service manager (systemd, Type=notify) counts the service as started only now that
  // the socket is bound, so units ordered after it find the port open.
  const ServiceNotifier service(std::getenv("NOTIFY_SOCKET"));
  if (!service.problem().empty()) say(service.problem());
  service.notify("READY=1\nSTATUS=listening on " + address);

  int signal_number = 0;
  while (signal_number <= 0) {
    const timespec tick{1, 0};
    signal_number = sigtimedwait(&stop_signals, nullptr, &tick);
    if (signal_number <= 0 && gateway.failed()) {
      gateway.stop();
      say("stopped: the listening socket failed");
      return 1;
    }
  }
  const std::string stopping = std::string("stopping on ") +
                               (signal_number == SIGTERM ? "SIGTERM" : "SIGINT") +
                               "; finishing the requests in flight";
  service.notify("STOPPING=1\nSTATUS=" + stopping);
  say(stopping);
  gateway.stop();
  say("stopped");
  return 0;
}

}  // namespace talwen::program
