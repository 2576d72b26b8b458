#include "db/connection.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "base/text.h"
#include "db/pool.h"

namespace talwen::db {
ConnectionString::ConnectionString(std::string_view text) : text_(text) {
  while (!text.empty()) {
    const auto eq = text.find('=');
    const auto semicolon = text.find(';');
    if (eq == std::string_view::npos || semicolon < eq) {
      // A part without "=": nothing to keep.
      text = semicolon == std::string_view::npos ? std::string_view() : text.substr(semicolon + 1);
      continue;
    }
    const std::string_view key = trim(text.substr(0, eq));
    text.remove_prefix(eq + 1);
    text.remove_prefix(std::min(text.find_first_not_of(kBlanks), text.size()));

    std::string value;
    if (!text.empty() && (text.front() == '"' || text.front() == '\'')) {
      // A quoted value may hold ";"; the quote doubled stands for itself.
      const char quote = text.front();
      size_t i = 1;
      for (; i < text.size(); ++i) {
        if (text[i] != quote) {
          value.push_back(text[i]);
        } else if (i + 1 < text.size() && text[i + 1] == quote) {
          value.push_back(quote);
          ++i;
        } else {
          break;
        }
      }
      text.remove_prefix(std::min(i + 1, text.size()));
      const auto end = text.find(';');  // anything after the closing quote is dropped
      text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    } else {
      const auto end = text.find(';');
      value = trim(text.substr(0, end));
      text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    }
    if (key.empty() || has(key)) continue;
    pairs_.emplace_back(std::string(key), std::move(value));
  }
}

bool ConnectionString::has(std::string_view keyword) const {
  for (const auto& [key, value] : pairs_) {
    if (iequals(key, keyword)) return true;
  }
  return false;
}

std::string ConnectionString::get(std::string_view keyword) const {
  for (const auto& [key, value] : pairs_) {
    if (iequals(key, keyword)) return value;
  }
  return {};
}

void Connector::add(std::string name, std::shared_ptr<Provider> provider) {
  providers_.emplace_back(std::move(name), std::move(provider));
}

std::unique_ptr<Connection> Connector::open(std::string_view connection_string,
                                            const Timeouts& timeouts) const {
  // Requests name the same target over and over: each thread keeps the last one parsed. The
  // request holds its own reference: another request of the thread may replace the last one
  // while this one waits for a pool turn.
  thread_local std::shared_ptr<const ConnectionString> last;
  if (!last || last->text() != connection_string) {
    last = std::make_shared<const ConnectionString>(connection_string);
  }
  const std::shared_ptr<const ConnectionString> held = last;
  const ConnectionString& target = *held;
  const std::string name = target.get("Provider");
  for (const auto& [provider_name, provider] : providers_) {
    if (iequals(provider_name, name)) return provider->open(target, timeouts);
  }
  throw DbError(kErrorNoProvider,
                "Provider cannot be found. It may not be properly installed. (" + name + ")");
}

}  // namespace talwen::db

namespace talwen::db {

std::vector<PoolStats> Connector::pool_stats() const {
  std::vector<PoolStats> out;
  std::vector<const Provider*> asked;  // a provider may be registered under several names
  for (const auto& [name, provider] : providers_) {
    if (std::find(asked.begin(), asked.end(), provider.get()) != asked.end()) continue;
    asked.push_back(provider.get());
    provider->pool_stats(out);
  }
  return out;
}

}  // namespace talwen::db
