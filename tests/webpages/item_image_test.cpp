// Contract tests of the item image pages.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/function_calls.h"
#include "support/harness.h"
#include "support/item_image_columns.h"

namespace talwen {
namespace {

using testing::Call;
using testing::Closed;
using testing::Harness;
using testing::kItemImageColumns;
using testing::Rows;
using testing::SessionValues;
using testing::T;
using testing::Texts;

db::ResultSet Classes() {
  return Texts({"param_code", "description"}, {{"ELEC", "Electrical"}, {"TOOL", "Tools"}});
}
db::ResultSet Groups() {
  return Texts({"param_code"}, {{"FAST"}, {"SLOW"}});
}

std::vector<Value> Item(const char* item_no, const char* description, const char* image) {
  return {T(item_no),
          T(description),
          T(image),
          T("TOOL"),
          T("S1"),
          T("FAST"),
          T("S2"),
          T("ACTIVE"),
          T("S3"),
          T("HAND TOOLS"),
          T("S4"),
          T("TOOL-FAST"),
          T(""),
          T("EA"),
          Value::decimal("240"),
          Value::decimal("234"),
          Value::decimal("0"),
          Value::decimal("6"),
          Value::decimal("6"),
          Value::decimal("0"),
          Value::decimal("6"),
          Value::decimal("120"),
          Value::decimal("228")};
}

// The page: the form keeps what was asked (the class chosen among the listed ones), then one
// block per item with its picture under the image folder's address; "No Image.JPG" is none.
TEST(ItemImagePage, FormThenOneBlockPerItem) {
  Harness h;
  h.db->answer({Classes()}).answer({Groups()});
  h.db->answer(
      {Closed(), Rows(kItemImageColumns, {Item("A1001", "Claw Hammer 16oz", " a1001.jpg "),
                                          Item("A1007", "Extension Lead", "No Image.JPG")})});
  const std::string page = Call(h, "WEBRPT_GET_ITEM_IMAGE2",
                                {{"dbinstance", "veldrawms"},
                                 {"userid", "u"},
                                 {"client", "C01"},
                                 {"product_class", "TOOL"},
                                 {"item_end", "A1010"}});
  EXPECT_EQ(h.db->statements,
            (std::vector<std::string>{
                "rpt_parameter_tbl_list 'PRODUCT CLASS'", "rpt_parameter_tbl_list 'PRODUCT GROUP'",
                "get_item_image2  N'u',  N'C01',  N'TOOL', Null, Null, Null, Null, Null, Null, "
                "Null, Null, Null,  N'A1010'"}))
      << "the item statement runs once, after the two lists";
  for (const char* part :
       {"<title>Item Image</title>",
        "<form method=\"POST\" action=\"http://rf.example/talwen/"
        "http_talwen.asp\"><input type=\"hidden\" name=\"userid\" "
        "value=\"VELDRA1\"><input type=\"hidden\" name=\"dbinstance\" "
        "value=\"veldrawms\"><input type=\"hidden\" name=\"function\" "
        "value=\"webrpt_get_item_image2\">",
        "name=client size=30 value=\"C01\">", "<option selected value=\"TOOL\">TOOL</option>",
        "name=item_end size=30 value=\"A1010\">", "<b><u>A1001</u></b>",
        "<a href=\"http://rf.example/image/a1001.jpg\"><font size=2>http://rf.example/image/"
        "a1001.jpg</font></a>",
        "<img border=0 src=\"http://rf.example/image/a1001.jpg\" width=266 height=200>",
        "<b><u>A1007</u></b>", "<img border=0 src=\"\" width=266 height=200>",
        "<hr><a href=\"#top\">Go to Top</a></body></html>"}) {
    EXPECT_NE(page.find(part), std::string::npos) << part;
  }
}

TEST(ItemImagePage, EmptySessionAndNoItems) {
  for (const char* function : {"webrpt_get_item_image2", "webrpt_get_item_image2_qty"}) {
    Harness h;
    h.db->answer({Classes()}).answer({Groups()}).answer({Rows(kItemImageColumns, {})});
    const std::string page = Call(h, function, {});
    EXPECT_TRUE(page.ends_with("</table></form><hr><a href=\"#top\">Go to Top</a></body></html>"))
        << function << ": the form and the footer only";
    EXPECT_NE(page.find("<input type=text name=client size=30 value=\"\">"), std::string::npos);
    EXPECT_NE(page.find("<input type=\"hidden\" name=\"dbinstance\" value=\"veldrawms\">"),
              std::string::npos)
        << function << ": the default instance";
    const bool qty = std::string(function).ends_with("_qty");
    std::string nulls = qty ? "get_item_image2_qty Null" : "get_item_image2 Null";
    for (int i = 1; i < (qty ? 14 : 13); ++i) nulls += ", Null";
    EXPECT_EQ(h.db->statements.back(), nulls) << function;
    EXPECT_EQ(page.find("<option selected value=\"ELEC\""), std::string::npos)
        << function << ": no code is chosen";
  }
}

TEST(ItemImagePage, QuantityPage) {
  Harness h;
  h.db->answer({Classes()}).answer({Groups()});
  h.db->answer({Rows(kItemImageColumns, {Item("A1001", "Claw Hammer 16oz", "a1001.jpg")})});
  const std::string page =
      Call(h, "webrpt_get_item_image2_qty", {{"product_group", "SLOW"}, {"show_all_status", "Y"}});
  const auto has = [&page](const std::string& piece) {
    return page.find(piece) != std::string::npos;
  };
  EXPECT_TRUE(has("<title>Item Image (with Qty)</title>"));
  EXPECT_TRUE(has("<a name=\"top\">Item Image (with Qty)</a></u></h2>"));
  EXPECT_TRUE(
      has("<input type=\"hidden\" name=\"function\" value=\"webrpt_get_item_image2_qty\">"));
  EXPECT_TRUE(
      has("<select size=1 name=product_class><option selected value=\"\">All Classes"
          "</option><option value=\"ELEC\">ELEC</option>"))
      << "an empty class chooses the option for every class";
  EXPECT_TRUE(
      has("<select size=1 name=product_group><option value=\"\">All Groups</option>"
          "<option value=\"FAST\">FAST</option><option selected value=\"SLOW\">SLOW"
          "</option></select>"));
  EXPECT_TRUE(
      has("<tr><td width=15% align=right>Show All Status</td><td width=1%>:</td>"
          "<td width=34%><select size=1 name=show_all_status><option value=\"N\">NO"
          "</option><option selected value=\"Y\">YES</option></select></td>"
          "<td colspan=3><input type=submit"));
  // The quantities under their headings, in order, after a picture that links to itself.
  EXPECT_TRUE(has("<a href=\"http://rf.example/image/a1001.jpg\"><img border=0"));
  const size_t heading = page.find("Qty On Hand</td>");
  ASSERT_NE(heading, std::string::npos);
  size_t at = heading;
  for (const char* piece :
       {"Qty Available", "Received Qty", "Sales Order Qty", "Qty Picking", "Qty Pending Despatch",
        "Qty Reserved", "Qty On Purchase Order", "Qty Free", "<b>EA</b>", ">240<", ">234<", ">0<",
        ">6<", ">6<", ">0<", ">6<", ">120<", ">228<"}) {
    at = page.find(piece, at);
    ASSERT_NE(at, std::string::npos) << piece;
  }
  EXPECT_EQ(h.db->statements.back(),
            "get_item_image2_qty Null, Null, Null,  N'SLOW', Null, Null, Null, Null, Null, Null, "
            "Null, Null, Null,  N'Y'");

  for (const char* status : {"", "y", "X"}) {
    h.db->answer({Classes()}).answer({Groups()}).answer({Rows(kItemImageColumns, {})});
    const std::string other_page =
        Call(h, "webrpt_get_item_image2_qty", {{"show_all_status", status}});
    EXPECT_NE(other_page.find("<select size=1 name=show_all_status><option value=\"N\">NO</option>"
                              "<option value=\"Y\">YES</option></select>"),
              std::string::npos)
        << "\"" << status << "\": neither option is chosen";
  }
}

TEST(ItemImagePage, ValuesAreEscaped) {
  Harness h;
  h.request.server_variables.set("SERVER_NAME", "rf.example\"x");
  h.db->answer({Texts({"param_code"}, {{"A&B"}})}).answer({Groups()});
  h.db->answer({Rows(kItemImageColumns, {Item("<b>", "Nuts & \"Bolts\"", "x<y>.jpg")})});
  const std::string page =
      Call(h, "webrpt_get_item_image2",
           {{"client", "\"><script>alert(1)</script>"}, {"product_class", "A&B"}});
  EXPECT_EQ(page.find("<script>"), std::string::npos);
  EXPECT_NE(
      page.find("name=client size=30 value=\"&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;\">"),
      std::string::npos);
  EXPECT_NE(page.find("action=\"http://rf.example&quot;x/talwen/http_talwen.asp\""),
            std::string::npos);
  EXPECT_NE(page.find("<option selected value=\"A&amp;B\">A&amp;B</option>"), std::string::npos);
  EXPECT_NE(page.find("<b><u>&lt;b&gt;</u></b>"), std::string::npos);
  EXPECT_NE(page.find("<td width=84%>Nuts &amp; &quot;Bolts&quot;</td>"), std::string::npos);
  EXPECT_NE(page.find("src=\"http://rf.example&quot;x/image/x&lt;y&gt;.jpg\""), std::string::npos);
}

TEST(ItemImagePage, AddressesKeepThePortTheBrowserUsed) {
  const struct {
    const char* proves;
    const char* host_header;
    const char* host;
  } cases[] = {
      {"a port other than the default", "rf.example:8080", "rf.example:8080"},
      {"no port", "rf.example", "rf.example"},
      {"a Host header of another name is not taken", "evil.example:81", "rf.example"},
      {"a port must be digits", "rf.example:80/x", "rf.example"},
  };
  for (const auto& c : cases) {
    Harness h;
    h.request.server_variables.set("HTTP_HOST", c.host_header);
    h.db->answer({Classes()}).answer({Groups()});
    h.db->answer({Rows(kItemImageColumns, {Item("A1001", "Claw Hammer 16oz", "a1001.jpg")})});
    const std::string page = Call(h, "webrpt_get_item_image2", {});
    const std::string host = c.host;
    EXPECT_NE(page.find("action=\"http://" + host + "/talwen/http_talwen.asp\""), std::string::npos)
        << c.proves;
    EXPECT_NE(page.find("src=\"http://" + host + "/image/a1001.jpg\""), std::string::npos)
        << c.proves;
  }
}

TEST(ItemImagePage, AFailingStatementEndsThePage) {
  Harness h;
  h.db->answer({Classes()}).answer({Groups()});
  h.db->fail(-2147217900, "Could not find stored procedure 'get_item_image2'.");
  EXPECT_EQ(Call(h, "webrpt_get_item_image2", {}), "");
  EXPECT_EQ(h.failures.size(), 1u);
}

}  // namespace
}  // namespace talwen
