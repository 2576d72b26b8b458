// What the grid-form handlers answer when their statement fails or gives no row: the status
// reply with the execution error of the task-closing handlers (putaway, picking, counting),
// and the handlers with fixed tags from row 0, which report no error of their own.
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

// A handler that reads named columns of row 0 without testing the statement's error ends
// with the empty reply when there is no row to read, unless it is one that goes on whatever
// happens (the pick confirmation answers an empty status and message).
TEST(FixedTagsOfRowZero, AFailedStatementOrNoRowFollowsEachHandlersRule) {
  const Answer failed{{}, {}, db::DbError(-2147217900, "Could not find stored procedure.")};
  const Answer no_row{{Texts({"sqlstatus", "sqlmsg", "wo_number"}, {})}, {}, {}};
  const struct {
    const char* function;
    const Answer& answer;
    const char* reply;
  } cases[] = {
      {"rf_check_user_password", failed, ""},
      {"rf_check_user_password", no_row, ""},
      {"rf_assign_whse_task_manual", failed, ""},
      {"rf_assign_whse_task_manual", no_row, ""},
      {"rf_confirm_despatch", failed, ""},
      {"rf_confirm_despatch", no_row, ""},
      {"rf_confirm_item_picked", failed, "<sqlstatus></sqlstatus><sqlmsg></sqlmsg>"},
      {"rf_confirm_item_picked", no_row, "<sqlstatus></sqlstatus><sqlmsg></sqlmsg>"},
  };
  for (const auto& c : cases) {
    Harness h;
    h.db->answer(c.answer);
    EXPECT_EQ(Call(h, c.function, {}), c.reply)
        << c.function << (c.answer.error ? ", failed" : ", no row");
  }
}

}  // namespace
}  // namespace talwen::testing
