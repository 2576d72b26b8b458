// The status reply with the execution error, shared by the task-closing handlers of putaway,
// picking and counting: each must answer the same way for the same database outcome.
#include <gtest/gtest.h>

#include <string>

#include "support/function_calls.h"
#include "support/harness.h"

namespace talwen::testing {
namespace {

constexpr const char* kClosingFunctions[] = {
    "rf_close_putaway_task",     "rf_close_replenish_task", "rf_close_pick_task",
    "rf_close_carton_pick_task", "rf_close_count_task",
};

TEST(GridStatusReply, EveryClosingHandlerAnswersAlike) {
  const struct {
    const char* proves;
    Answer answer;
    const char* reply;
  } cases[] = {
      {"the first row's columns, found by name",
       Answer{
           {Closed(), Texts({" SqlMsg", "SQLSTATUS "}, {{"Done.", "0"}, {"later", "1"}})}, {}, {}},
       "<sqlstatus>0</sqlstatus><sqlmsg>Done.</sqlmsg>"},
      {"a missing column is written empty", Answer{{Texts({"sqlmsg"}, {{"No status."}})}, {}, {}},
       "<sqlstatus></sqlstatus><sqlmsg>No status.</sqlmsg>"},
      {"a failed statement answers its error",
       Answer{{}, {}, db::DbError(-2147217900, "Invalid object name.")},
       "<sqlstatus>-2147217900</sqlstatus><sqlmsg>Invalid object name.</sqlmsg>"},
      {"a result without rows ends the handler",
       Answer{{Texts({"sqlstatus", "sqlmsg"}, {})}, {}, {}}, ""},
      {"a statement without any result ends the handler", Answer{{Closed()}, {}, {}}, ""},
      {"nor do unrelated columns without rows make a status", Answer{{Texts({"note"}, {})}, {}, {}},
       ""},
  };
  for (const char* function : kClosingFunctions) {
    for (const auto& c : cases) {
      Harness h;
      h.db->answer(c.answer);
      EXPECT_EQ(Call(h, function, {}), c.reply) << function << ": " << c.proves;
    }
  }
}

}  // namespace
}  // namespace talwen::testing
