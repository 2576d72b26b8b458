#include "host/gateway_settings.h"

#include <charconv>
#include <cstdint>
#include <optional>

#include "base/text.h"
#include "functions/function_table.h"

namespace talwen::host {
namespace {

// The whole number of a key (of [GENERAL] unless told): nullopt when the key is missing or
// empty, or when its value is not a number from min to max (error then says so).
std::optional<uint64_t> read_number(const IniFile& ini, std::string_view key, uint64_t min,
                                    uint64_t max, std::string& error,
                                    std::string_view section = "GENERAL") {
  const std::string text = ini.read_string(section, key, "");
  if (text.empty()) return std::nullopt;
  uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max) {
    error = (section == "GENERAL" ? "" : "[" + std::string(section) + "] ") + std::string(key) +
            ": '" + text + "' is not a whole number from " + std::to_string(min) + " to " +
            std::to_string(max);
    return std::nullopt;
  }
  return value;
}

// The shortest sign-on key taken: 32 characters, 128 bits even as hex digits.
constexpr size_t kMinSignOnKey = 32;

std::string read_networks(const IniFile& ini, std::string_view key, NetworkList& out) {
  const std::string text = ini.read_string("GENERAL", key, "");
  if (text.empty()) return {};
  // A profile value holds at most 254 bytes; a list that long was probably cut short.
  if (text.size() >= IniFile::kStringBufferSize - 1) {
    return std::string(key) + ": the list is too long for one INI value (254 bytes)";
  }
  std::string error;
  auto list = NetworkList::Parse(text, &error);
  if (!list) return std::string(key) + ": " + error;
  out = std::move(*list);
  return {};
}

}  // namespace

std::string ApplyGeneralSettings(const IniFile* ini, GatewayOptions& options) {
  if (!ini) return {};
  using std::chrono::seconds;
  std::string error = read_networks(*ini, "HTTP ALLOW FROM", options.allowed);
  if (error.empty()) error = read_networks(*ini, "HTTP DIAGNOSTICS FROM", options.diagnostics);
  if (error.empty()) error = read_networks(*ini, "HTTP TRUSTED PROXIES", options.trusted_proxies);
  const auto number = [&](std::string_view key, uint64_t min, uint64_t max, auto apply) {
    if (!error.empty()) return;
    if (const auto value = read_number(*ini, key, min, max, error)) apply(*value);
  };
  const auto in_seconds = [](uint64_t v) { return seconds(static_cast<int64_t>(v)); };
  number("HTTP MAX BODY", 1, 64ull << 20, [&](uint64_t v) { options.max_body_bytes = v; });
  number("HTTP MAX HEADER", 1024, 1ull << 20, [&](uint64_t v) { options.max_header_bytes = v; });
  number("HTTP READ TIMEOUT", 1, 3600, [&](uint64_t v) { options.read_timeout = in_seconds(v); });
  number("HTTP WRITE TIMEOUT", 1, 3600, [&](uint64_t v) { options.write_timeout = in_seconds(v); });
  number("HTTP KEEPALIVE TIMEOUT", 0, 3600,
         [&](uint64_t v) { options.keep_alive_timeout = in_seconds(v); });
  number("HTTP KEEPALIVE REQUESTS", 1, 1'000'000,
         [&](uint64_t v) { options.keep_alive_requests = v; });
  number("HTTP MAX CONNECTIONS", 1, 100'000, [&](uint64_t v) { options.max_connections = v; });
  number("HTTP MAX CONNECTIONS PER PEER", 1, 100'000,
         [&](uint64_t v) { options.max_connections_per_peer = v; });
  number("HTTP WORKERS", 1, 256, [&](uint64_t v) { options.workers = v; });
  number("SIGN-ON IDLE MINUTES", 1, 24 * 60,
         [&](uint64_t v) { options.sign_on.idle = in_seconds(v * 60); });
  number("SIGN-ON HOURS", 1, 7 * 24,
         [&](uint64_t v) { options.sign_on.longest = in_seconds(v * 3600); });
  bool attempts_set = false;
  number("SIGN-ON ATTEMPTS PER MINUTE", 0, 100'000, [&](uint64_t v) {
    options.sign_on.attempts_per_minute = v;
    attempts_set = true;
  });
  number("FUNCTION LIMIT", 1, 100'000, [&](uint64_t v) { options.function_limit = v; });
  // [FUNCTION LIMIT]: one function's own limit, under its name (0 = none).
  for (const RfFunction& function : AllFunctions()) {
    if (!error.empty()) break;
    if (const auto v = read_number(*ini, function.name, 0, 100'000, error, "FUNCTION LIMIT")) {
      options.function_limits[std::string(function.name)] = *v;
    }
  }
  if (error.empty()) {
    const std::string images = ini->read_string("GENERAL", "IMAGE FOLDER", "");
    if (!images.empty()) options.image_dir = images;
    const std::string require = ini->read_string("GENERAL", "REQUIRE SIGN-ON", "");
    if (iequals(require, "Y")) {
      options.sign_on.required = true;
    } else if (!require.empty() && !iequals(require, "N")) {
      error = "REQUIRE SIGN-ON: '" + require + "' is neither Y nor N";
    }
    options.sign_on.key = ini->read_string("GENERAL", "SIGN-ON KEY", "");
    if (options.sign_on.required && !attempts_set) {
      options.sign_on.attempts_per_minute = SignOnSettings::kDefaultAttempts;
    }
  }
  if (error.empty() && options.sign_on.required && options.sign_on.key.size() < kMinSignOnKey) {
    error = "SIGN-ON KEY: REQUIRE SIGN-ON=Y needs a key of at least " +
            std::to_string(kMinSignOnKey) + " characters (openssl rand -hex 32)";
  }
  return error;
}

}  // namespace talwen::host
