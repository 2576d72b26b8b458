// Session and Request: what a host hands the engine's Process for one request.
//
// Values is an ordered collection of text values under case-insensitive keys. The session's
// contents, the server variables and the query-string values all behave this way:
// keys keep the position of their first assignment, assigning an existing key replaces its
// value in place, and a missing key reads as the empty text. Not thread-safe; each request owns
// its own collections.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace talwen {

namespace db {
class ClientWatch;
}
struct RfFunction;

class Values {
 public:
  // Set key to value: in place when the key exists (any letter case), else at the end.
  void set(std::string_view key, std::string_view value);
  // Append key and value without looking for the key: only for a key known to be absent (the
  // fixed names a host puts into a new collection).
  void add(std::string_view key, std::string_view value) { items_.emplace_back(key, value); }
  // Return the value of key, or "" when it is absent.
  const std::string& get(std::string_view key) const;
  bool contains(std::string_view key) const { return index_of(key) >= 0; }

  // 1-based access in insertion order, as the host's collections number their items.
  int count() const { return static_cast<int>(items_.size()); }
  const std::string& key(int index) const { return items_.at(index - 1).first; }
  const std::string& item(int index) const { return items_.at(index - 1).second; }

  void remove_all() { items_.clear(); }
  // Make room for n items, so that filling them moves nothing.
  void reserve(size_t n) { items_.reserve(n); }
  const std::vector<std::pair<std::string, std::string>>& items() const { return items_; }

 private:
  // The 0-based position of key, or -1.
  int index_of(std::string_view key) const;

  std::vector<std::pair<std::string, std::string>> items_;  // (key as first given, value)
};

// The session of one request: its contents and its identifier.
class Session : public Values {
 public:
  Session() = default;
  explicit Session(std::string id) : id_(std::move(id)) {}
  const std::string& id() const { return id_; }

 private:
  std::string id_;
};

// What the engine reads of the host's request.
struct Request {
  Values server_variables;
  Values query_string;
  // The client waiting for the answer, watched while the database works (db/client_watch.h);
  // none when null.
  db::ClientWatch* client = nullptr;
  // The row of the environment's function table that the session's "function" names, when the
  // host has looked it up already; null: Process looks it up.
  const RfFunction* function = nullptr;
};

}  // namespace talwen
