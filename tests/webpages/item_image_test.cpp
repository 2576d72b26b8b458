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

const std::string kTable =
    "<table border=0 cellpadding=3 cellspacing=0 style=\"border-collapse: collapse\" "
    "bordercolor=\"#111111\"";

std::string TextRow(const char* label, const char* name, const char* value) {
  return std::string("<td width=15% align=right>") + label +
         "</td><td width=1%>:</td><td width=34%><input type=text name=" + name +
         " size=30 value=\"" + value + "\"></td>";
}

// The classification block of an item of Item(), without the quantity table.
std::string ItemBlock(const char* item_no, const char* description, const std::string& address,
                      bool linked_image) {
  const std::string file =
      address.empty() ? "" : "<a href=\"" + address + "\"><font size=2>" + address + "</font></a>";
  std::string image = "<img border=0 src=\"" + address + "\" width=266 height=200>";
  if (linked_image) image = "<a href=\"" + address + "\">" + image + "</a>";
  const auto row = [](const char* l1, const char* v1, const char* l2, const char* v2) {
    return std::string("<td width=15% height=30>") + l1 +
           "</td><td width=1% height=30>:</td><td width=15% height=30>" + v1 +
           "</td><td width=15% height=30>" + l2 +
           "</td><td width=1% height=30>:</td><td width=15% height=30>" + v2 + "</td>";
  };
  return kTable + " width=\"100%\" id=AutoNumber3><tr>" +
         "<td width=15% height=40 bgcolor=\"#C0C0C0\">Item </td>"
         "<td width=1% height=40 bgcolor=\"#C0C0C0\">:</td>"
         "<td width=84% height=40 bgcolor=\"#C0C0C0\"><b><u>" +
         item_no + "</u></b></td></tr><tr><td width=15%>Description</td><td width=1%>:</td>" +
         "<td width=84%>" + description + "</td></tr><tr><td width=15%>Image File</td>" +
         "<td width=1%>:</td><td width=84%>" + file + "</td></tr></table>" + kTable +
         " width=\"100%\" id=AutoNumber4><tr>" +
         row("Product Class", "TOOL", "Sub Category 1", "S1") +
         "<td width=40% rowspan=5 height=30><p align=center>" + image + "</p></td></tr><tr>" +
         row("Product Group", "FAST", "Sub Category 2", "S2") + "</tr><tr>" +
         row("Status", "ACTIVE", "Sub Category 3", "S3") + "</tr><tr>" +
         row("Category", "HAND TOOLS", "Sub Category 4", "S4") + "</tr><tr>" +
         row("Sub Category", "TOOL-FAST", "Sub Category 5", "") + "</tr></table>";
}

TEST(ItemImagePage, WholePage) {
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
  const std::string expected =
      "<html><head><meta http-equiv=\"Content-Language\" content=\"en-us\">"
      "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">"
      "<title>Item Image</title><style>\r\n<!--body { font-family: Tahoma; font-size: 8pt }\r\n"
      "-->\r\n</style></head><body><h2><u><a name=\"top\">Item Image</a></u></h2>"
      "<form method=\"POST\" action=\"http://rf.example/talwen/http_talwen.asp\">"
      "<input type=\"hidden\" name=\"userid\" value=\"VELDRA1\">"
      "<input type=\"hidden\" name=\"dbinstance\" value=\"veldrawms\">"
      "<input type=\"hidden\" name=\"function\" value=\"webrpt_get_item_image2\">" +
      kTable + " id=AutoNumber2><tr>" + TextRow("Client", "client", "C01") +
      TextRow("Sub Category", "sub_category", "") +
      "</tr><tr><td width=15% align=right>Product Class</td><td width=1%>:</td><td width=34%>"
      "<select size=1 name=product_class><option value=\"ELEC\">ELEC</option>"
      "<option selected value=\"TOOL\">TOOL</option></select></td>" +
      TextRow("Sub Category 1", "sub_category_1", "") +
      "</tr><tr><td width=15% align=right>Product Group</td><td width=1%>:</td><td width=34%>"
      "<select size=1 name=product_group><option value=\"FAST\">FAST</option>"
      "<option value=\"SLOW\">SLOW</option></select></td>" +
      TextRow("Sub Category 2", "sub_category_2", "") + "</tr><tr>" +
      TextRow("Category", "category", "") + TextRow("Sub Category 3", "sub_category_3", "") +
      "</tr><tr>" + TextRow("Item From", "item_start", "") +
      TextRow("Sub Category 4", "sub_category_4", "") + "</tr><tr>" +
      TextRow("Item To", "item_end", "A1010") + TextRow("Sub Category 5", "sub_category_5", "") +
      "</tr><tr><td colspan=3></td><td colspan=3><input type=submit value=\" Get Records \" "
      "name=B1>&nbsp;&nbsp;<input type=reset value=\" Clear \" name=B2></td></tr>"
      "</table></form><hr>" +
      ItemBlock("A1001", "Claw Hammer 16oz", "http://rf.example/image/a1001.jpg", false) + "<hr>" +
      ItemBlock("A1007", "Extension Lead", "", false) + "<hr>" +
      "<a href=\"#top\">Go to Top</a></body></html>";
  EXPECT_EQ(page, expected);
  EXPECT_EQ(h.db->statements,
            (std::vector<std::string>{
                "rpt_parameter_tbl_list 'PRODUCT CLASS'", "rpt_parameter_tbl_list 'PRODUCT GROUP'",
                "get_item_image2  N'u',  N'C01',  N'TOOL', Null, Null, Null, Null, Null, Null, "
                "Null, Null, Null,  N'A1010'"}))
      << "the item statement runs once, after the two lists";
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
  const std::string cell = " style=\"border-style: solid; border-width: 1\">";
  const std::string first = "<td width=10% height=30 bgcolor=\"#C0C0C0\"" + cell;
  const std::string other = "<td width=10% height=30" + cell;
  const std::string quantities =
      "<br></br>" + kTable + " width=\"100%\" id=AutoNumber5><tr>" + first + "UOM</td>" + other +
      "Qty On Hand</td>" + other + "Qty Available</td>" + other + "Received Qty</td>" + other +
      "Sales Order Qty</td>" + other + "Qty Picking</td>" + other + "Qty Pending Despatch</td>" +
      other + "Qty Reserved</td>" + other + "Qty On Purchase Order</td>" + other +
      "Qty Free</td></tr><tr>" + first + "<b>EA</b></td>" + other + "240</td>" + other +
      "234</td>" + other + "0</td>" + other + "6</td>" + other + "6</td>" + other + "0</td>" +
      other + "6</td>" + other + "120</td>" + other + "228</td></tr></table>";
  EXPECT_TRUE(
      has(ItemBlock("A1001", "Claw Hammer 16oz", "http://rf.example/image/a1001.jpg", true) +
          quantities + "<hr><a href=\"#top\">"))
      << page;
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
