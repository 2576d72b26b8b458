#include "db/connection.h"

#include "host/values.h"

namespace talwen::db {
namespace {

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

ConnectionString::ConnectionString(std::string_view text) : text_(text) {
  while (!text.empty()) {
    const auto end = text.find(';');
    const std::string_view part = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    const auto eq = part.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = trim(part.substr(0, eq));
    if (key.empty() || has(key)) continue;
    pairs_.emplace_back(std::string(key), std::string(trim(part.substr(eq + 1))));
  }
}

bool ConnectionString::has(std::string_view keyword) const {
  for (const auto& [key, value] : pairs_) {
    if (host::iequals(key, keyword)) return true;
  }
  return false;
}

std::string ConnectionString::get(std::string_view keyword) const {
  for (const auto& [key, value] : pairs_) {
    if (host::iequals(key, keyword)) return value;
  }
  return {};
}

void Connector::add(std::string name, std::shared_ptr<Provider> provider) {
  providers_.emplace_back(std::move(name), std::move(provider));
}

std::unique_ptr<Connection> Connector::open(std::string_view connection_string,
                                            const Timeouts& timeouts) const {
  const ConnectionString target(connection_string);
  const std::string name = target.get("Provider");
  for (const auto& [provider_name, provider] : providers_) {
    if (host::iequals(provider_name, name)) return provider->open(target, timeouts);
  }
  throw DbError(kErrorNoProvider,
                "Provider cannot be found. It may not be properly installed. (" + name + ")");
}

}  // namespace talwen::db
