// Shared shape of the session subsystem's contract tests: one case is a function called with
// session values against scripted answers, and the statement and reply it must give.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/function_calls.h"
#include "support/harness.h"

namespace talwen::testing {

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

}  // namespace talwen::testing
