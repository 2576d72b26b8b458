#include "frame/failure.h"

#include "frame/call.h"
#include "frame/convert.h"
#include "frame/grid.h"
#include "frame/reply.h"

namespace talwen {
namespace {

// A reason names a session key only when the key is a plain name of reasonable length: the
// key is the client's own text.
bool plain_key(std::string_view key) {
  if (key.empty() || key.size() > 32) return false;
  for (const char c : key) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '_' || c == '-' || c == '.';
    if (!plain) return false;
  }
  return true;
}

// A database's code is short and plain ("23505", "2627"); anything else is left out.
std::string plain_code(std::string_view code) {
  if (code.empty() || code.size() > 16) return {};
  for (const char c : code) {
    const bool plain = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || c == '-';
    if (!plain) return {};
  }
  return std::string(code);
}

Failure bad_input(const BadInput& e, const Session& session) {
  std::string reason = "bad " + e.kind();
  for (const auto& [key, value] : session.items()) {
    if (value.data() != e.text_at()) continue;
    if (plain_key(key)) reason += " in " + key;
    break;
  }
  return Failure::Of(Failure::kEngine, std::move(reason), e.what());
}

// The engine's own error numbers, by what they tell the caller; any other number is the
// database's error, named by its code.
struct NumberedFailure {
  int number;
  Failure::Kind kind;
  std::string_view reason;
};
constexpr NumberedFailure kNumberedFailures[] = {
    {db::kErrorTimeout, Failure::kDatabase, "timeout"},
    {db::kErrorCancelled, Failure::kGone, "client gone"},
    {db::kErrorBusy, Failure::kBusy, "busy"},
    {db::kErrorGeneric, Failure::kDatabase, "connection lost"},
    // The database's answer lacks a field or parameter the handler names.
    {db::kErrorItemNotFound, Failure::kEngine, "missing field"},
    {db::kErrorNoProvider, Failure::kEngine, "no database provider"},
};

}  // namespace

Failure FailureOf(const db::DbError& e) {
  Failure f;
  f.detail = e.what();
  f.number = e.number();
  f.code = plain_code(e.code());
  f.kind = Failure::kDatabase;
  f.reason = f.code.empty() ? "database error" : "database error " + f.code;
  for (const NumberedFailure& known : kNumberedFailures) {
    if (known.number != e.number()) continue;
    f.kind = known.kind;
    f.reason = std::string(known.reason);
    break;
  }
  return f;
}

Failure FailureOf(const std::exception& e, const Session& session) {
  if (dynamic_cast<const NoRows*>(&e) || dynamic_cast<const NoRecord*>(&e)) {
    return Failure::Of(Failure::kNone, {}, e.what());
  }
  if (const auto* bad = dynamic_cast<const BadInput*>(&e)) return bad_input(*bad, session);
  if (const auto* db = dynamic_cast<const db::DbError*>(&e)) return FailureOf(*db);
  if (dynamic_cast<const ReplyTooLong*>(&e))
    return Failure::Of(Failure::kEngine, "reply too long", e.what());
  return Failure::Of(Failure::kEngine, "handler error", e.what());
}

}  // namespace talwen
