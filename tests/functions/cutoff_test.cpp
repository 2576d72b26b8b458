// The listing cut-off, once for every listing that has one: with "limit" not blank, the listing
// stops after the record that takes the reply past the threshold and ends with the sentinel
// record naming its key column; with a blank limit every row is written. The columns a listing
// reads are found by running it: a missing field ends the handler with a message naming it.
#include <gtest/gtest.h>

#include "frame/reply.h"
#include "support/function_calls.h"

namespace talwen::testing {
namespace {

struct Listing {
  const char* function;
  const char* key;  // the key column of the sentinel
  const char* limit = "Y";
};

constexpr Listing kListings[] = {
    {"rf_get_po", "po_no"},
    {"rf_get_carton_rd", "item_no"},
    {"rf_get_client_customers2", "customer"},
    {"rf_get_supplier", "supplier"},
    {"rf_get_carrier", "carrier"},
    {"rf_get_matching_product", "item_no"},
    {"rf_get_matching_product2", "item_no", " x "},
    {"rf_get_serial_no", "serial_no"},
    {"rf_get_serial_warranty_nos", "serial_no"},
    {"rf_get_serial_products", "item_no"},
    {"rf_query_carton", "item_no"},
    {"rf_query_stock_movements", "item_no"},
    {"rf_get_matching_location", "location"},
    {"rf_get_matching_location_pallet", "pallet"},
    {"rf_get_warehouse_location_pallet", "pallet"},
    {"rf_get_matching_pallet", "pallet"},
    {"rf_get_matching_pallet2", "pallet"},
};

// 400 rows of the columns, each value naming its row: "K0 ...", ..., "K399 ...".
std::vector<std::vector<std::string>> ManyRows(size_t columns) {
  std::vector<std::vector<std::string>> rows;
  for (int i = 0; i < 400; ++i) {
    rows.push_back(std::vector<std::string>(columns, "K" + std::to_string(i) + " of many rows"));
  }
  return rows;
}

TEST(Cutoff, EveryListingStopsAfterTheRecordThatPassesTheThreshold) {
  for (const Listing& l : kListings) {
    SCOPED_TRACE(l.function);
    const std::vector<std::string> columns = ColumnsRead(l.function, {{"limit", ""}}, l.key);
    const std::string sentinel =
        "<record><" + std::string(l.key) + "><Too many records></" + l.key + "></record>";

    Harness whole;
    whole.db->answer({Texts(columns, ManyRows(columns.size()))});
    const std::string all = Call(whole, l.function, {{"limit", "  "}});
    EXPECT_NE(all.find(">K399 "), std::string::npos) << whole.last_failure();
    EXPECT_EQ(all.find("Too many records"), std::string::npos);

    Harness cut;
    cut.db->answer({Texts(columns, ManyRows(columns.size()))});
    const std::string reply = Call(cut, l.function, {{"limit", l.limit}});
    ASSERT_TRUE(reply.ends_with(sentinel)) << reply.substr(0, 200);
    const std::string listed = reply.substr(0, reply.size() - sentinel.size());
    // The last record took the reply past the threshold; the one before it had not.
    EXPECT_GE(CharacterCount(listed), Cutoff::kThreshold);
    EXPECT_LT(CharacterCount(listed.substr(0, listed.rfind("<record>"))), Cutoff::kThreshold);
  }
}

TEST(Cutoff, SomeListingsHaveNone) {
  // The product search is cut off only for a limit of exactly "Y"; the client list never.
  for (const Listing& l :
       {Listing{"rf_get_matching_product", "item_no", "y"}, Listing{"rf_get_client", "client"}}) {
    const std::vector<std::string> columns = ColumnsRead(l.function, {{"limit", ""}}, l.key);
    Harness h;
    h.db->answer({Texts(columns, ManyRows(columns.size()))});
    const std::string reply = Call(h, l.function, {{"limit", l.limit}});
    EXPECT_NE(reply.find(">K399 "), std::string::npos) << l.function;
  }
}

}  // namespace
}  // namespace talwen::testing
