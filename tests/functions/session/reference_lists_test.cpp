#include <gtest/gtest.h>

#include <string>

#include "functions/session/session.h"
#include "functions/session/session_cases.h"

namespace talwen::testing {
namespace {

TEST(ReferenceLists, SendTheTemplateAndShapeTheReply) {
  ExpectStatementCases({
      {"a configuration value writes value and description of the first row",
       {{"function", "rf_get_system_config"}, {"cfg_code", "PICK_MODE"}},
       "get_system_config  N'PICK_MODE'",
       {Texts({"cfg_description", "cfg_code", "cfg_value"},
              {{"Picking mode", "PICK_MODE", "FIFO"}, {"second", "X", "Y"}})},
       "<cfg_value>FIFO</cfg_value><cfg_description>Picking mode</cfg_description>"},
      {"facility types are warehouse elements",
       {{"function", "rf_get_facility_type"}},
       "rf_get_facility_type",
       {Texts({"warehouse", "facility_type"}, {{"W1", "DC"}, {"W2", "STORE"}})},
       "<warehouse>W1</warehouse><warehouse>W2</warehouse>"},
      {"reason codes come from the REASONCODE parameter list",
       {{"function", "rf_get_reason_codes"}},
       "rpt_parameter_tbl_list 'REASONCODE' ",
       {Texts({"param_code", "param_desc"}, {{"DMG", "Damaged"}, {"EXP", "Expired"}})},
       "<reasoncode>DMG</reasoncode><reasoncode>EXP</reasoncode>"},
      {"an empty client asks for every client",
       {{"function", "rf_get_client"}, {"client", ""}},
       "rf_get_client Null",
       {Texts({"client", "client_name"}, {{"C01", "Acme"}})},
       "<record><client>C01</client><client_name>Acme</client_name></record>"},
      {"a client's customers are customer elements",
       {{"function", "rf_get_client_customers"}, {"client", "C01"}, {"customer", "ignored"}},
       "rf_get_client_customers  N'C01'",
       {Texts({"customer", "customer_name"}, {{"CU1", "Shop"}, {"CU2", "Mall"}})},
       "<customer>CU1</customer><customer>CU2</customer>"},
      {"customer records nest code and name; an empty customer is sent as Null",
       {{"function", "rf_get_client_customers2"}, {"client", "C01"}},
       "rf_get_client_customers  N'C01', Null",
       {Rows({"customer_name", "customer"}, {{T("Shop"), T("CU1")}, {Value::null(), T("CU2")}})},
       "<record><customer>CU1</customer><customer_name>Shop</customer_name></record>"
       "<record><customer>CU2</customer><customer_name></customer_name></record>"},
      {"suppliers add the constant 'Y' with its trailing blank",
       {{"function", "rf_get_supplier"}, {"client", "C01"}, {"supplier", "S1"}},
       "get_supplier  N'C01',  N'S1', 'Y' ",
       {Texts({"supplier", "supplier_name"}, {{"S1", "Steel & Co"}})},
       "<record><supplier>S1</supplier><supplier_name>Steel & Co</supplier_name></record>"},
  });
}

TEST(PrintQueue, QueuesValidCopiesAndRefusesTheRest) {
  const struct {
    const char* proves;
    const char* qty;
    std::optional<int16_t> copies;  // none: nothing may be queued
    std::string reply;
  } cases[] = {
      {"an empty quantity prints one copy", "", 1, "<sqlstatus>0</sqlstatus>"},
      {"a quantity is sent as a 16-bit copy count", " 3 ", 3, "<sqlstatus>0</sqlstatus>"},
      {"zero copies are refused", "0", std::nullopt, "<sqlstatus>-1</sqlstatus>"},
      {"a quantity that is no number is refused", "two", std::nullopt, "<sqlstatus>-1</sqlstatus>"},
      {"a quantity past the 16-bit range is refused", "70000", std::nullopt,
       "<sqlstatus>-1</sqlstatus>"},
  };
  for (const auto& c : cases) {
    Harness h;
    std::vector<std::string> inputs = {"@report_type"};
    for (int i = 1; i <= 8; ++i) inputs.push_back("@param" + std::to_string(i));
    inputs.push_back("@copies");
    h.db->procedure("rf_print_queue", inputs, {});
    h.db->answer(Outputs({{"@RETURN_VALUE", Value::int32(0)}}));
    const std::string reply = CallWith(h, {{"function", "rf_print_queue"},
                                           {"qty", c.qty},
                                           {"param2", "P2"},
                                           {"report_type", "PICKLIST"},
                                           {"param1", "ORD1"},
                                           {"param8", "P8"}});
    EXPECT_EQ(reply, c.reply) << c.proves;
    if (!c.copies) {
      EXPECT_TRUE(h.db->calls.empty()) << c.proves;
      continue;
    }
    ASSERT_EQ(h.db->calls.size(), 1u) << c.proves;
    const std::vector<Value> expected = {
        Value(), T("PICKLIST"),          T("ORD1"), T("P2"), T(""), T(""), T(""), T(""), T(""),
        T("P8"), Value::int16(*c.copies)};
    EXPECT_EQ(h.db->calls[0].values, expected) << c.proves;
  }
}

TEST(PrintQueue, RepliesTheProcedureReturnValue) {
  Harness h;
  h.db->procedure("rf_print_queue",
                  {"@report_type", "@p1", "@p2", "@p3", "@p4", "@p5", "@p6", "@p7", "@p8", "@n"},
                  {});
  h.db->answer(Outputs({{"@RETURN_VALUE", Value::int32(-3)}}));
  EXPECT_EQ(CallWith(h, {{"function", "rf_print_queue"}, {"report_type", "NOPE"}}),
            "<sqlstatus>-3</sqlstatus>");
}

}  // namespace
}  // namespace talwen::testing
