// Shared shape of the session subsystem's contract tests: one case is a function called with
// session values against scripted answers, and the statement and reply it must give.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/harness.h"

namespace talwen::testing {

using SessionValues = std::vector<std::pair<std::string, std::string>>;

// Run Process on a fresh session holding values, in order.
inline std::string CallWith(Harness& h, const SessionValues& values) {
  host::Session session("S1");
  for (const auto& [key, value] : values) session.set(key, value);
  return h.call(session);
}

struct StatementCase {
  const char* proves;
  SessionValues session;            // "function" first
  std::string statement;            // the one statement the handler must send
  std::vector<db::ResultSet> rows;  // the database's answer
  std::string reply;
};

inline void ExpectStatementCases(const std::vector<StatementCase>& cases) {
  for (const StatementCase& c : cases) {
    Harness h;
    h.db->answer(c.rows);
    EXPECT_EQ(CallWith(h, c.session), c.reply) << c.proves;
    EXPECT_EQ(h.db->statements, std::vector<std::string>{c.statement}) << c.proves;
  }
}

// An answer of output parameters, for the procedure call form.
inline Answer Outputs(std::map<std::string, Value> outputs) {
  return Answer{{}, std::move(outputs), std::nullopt};
}

}  // namespace talwen::testing
