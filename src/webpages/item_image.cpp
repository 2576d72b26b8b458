// The item image pages: a product browser for a desktop browser. A search form with the
// current filter values posts back to the gateway with the page's own function name; below it
// one block per matching item with its description, image and classification, and on the
// second page a row of stock quantities.
//
// Every value that comes from the request, the server name or the database is HTML-escaped
// before it is written, so a typed filter value or a product description cannot add markup or
// script to the page.
#include <algorithm>
#include <array>
#include <span>

#include "base/text.h"
#include "frame/call.h"
#include "frame/reply.h"
#include "frame/sql_arg.h"
#include "webpages/webpages.h"

namespace talwen {
namespace {

// The hidden "userid" the form has always carried; the pages that receive it expect it.
constexpr std::string_view kPageUser = "VELDRA1";

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kTableStyle =
    " cellpadding=3 cellspacing=0 style=\"border-collapse: collapse\" bordercolor=\"#111111\"";
constexpr std::string_view kCellBorder = " style=\"border-style: solid; border-width: 1\"";

// The filter keys in the order they are read and passed; the second page adds the last.
constexpr std::array<std::string_view, 14> kFilterKeys = {
    "userid",         "client",         "product_class",  "product_group",  "category",
    "sub_category",   "sub_category_1", "sub_category_2", "sub_category_3", "sub_category_4",
    "sub_category_5", "item_start",     "item_end",       "show_all_status"};

enum class Control { kText, kClassList, kGroupList };

struct FilterField {
  std::string_view label;
  std::string_view key;
  Control control = Control::kText;
};

// The filter table: six rows of a left and a right field.
constexpr std::array<std::array<FilterField, 2>, 6> kFilterRows = {{
    {{{"Client", "client"}, {"Sub Category", "sub_category"}}},
    {{{"Product Class", "product_class", Control::kClassList},
      {"Sub Category 1", "sub_category_1"}}},
    {{{"Product Group", "product_group", Control::kGroupList},
      {"Sub Category 2", "sub_category_2"}}},
    {{{"Category", "category"}, {"Sub Category 3", "sub_category_3"}}},
    {{{"Item From", "item_start"}, {"Sub Category 4", "sub_category_4"}}},
    {{{"Item To", "item_end"}, {"Sub Category 5", "sub_category_5"}}},
}};

struct LabelledColumn {
  std::string_view label;
  std::string_view column;
};

// The classification of an item: five rows of two label/value pairs.
constexpr std::array<std::array<LabelledColumn, 2>, 5> kDetailRows = {{
    {{{"Product Class", "product_class"}, {"Sub Category 1", "sub_category_1"}}},
    {{{"Product Group", "product_group"}, {"Sub Category 2", "sub_category_2"}}},
    {{{"Status", "Status"}, {"Sub Category 3", "sub_category_3"}}},
    {{{"Category", "Category"}, {"Sub Category 4", "sub_category_4"}}},
    {{{"Sub Category", "sub_category"}, {"Sub Category 5", "sub_category_5"}}},
}};

// The quantity table of the second page; the first column is the unit.
constexpr std::array<LabelledColumn, 10> kQuantities = {{
    {"UOM", "uom"},
    {"Qty On Hand", "qoh"},
    {"Qty Available", "qty_avail"},
    {"Received Qty", "qty_rcvg"},
    {"Sales Order Qty", "qty_sales"},
    {"Qty Picking", "qty_picking"},
    {"Qty Pending Despatch", "qty_picked"},
    {"Qty Reserved", "qty_reserved"},
    {"Qty On Purchase Order", "qoo"},
    {"Qty Free", "qty_free"},
}};

struct Page {
  std::string_view function;   // posted back in the hidden input "function"
  std::string_view title;      // the title and the heading
  std::string_view statement;  // the item statement's prefix
  size_t keys;                 // how many filter keys the page reads
  bool with_qty;               // the second page: status switch, "All" options, quantities
};

constexpr Page kImagePage = {"webrpt_get_item_image2", "Item Image", "get_item_image2 ", 13, false};
constexpr Page kQtyPage = {"webrpt_get_item_image2_qty", "Item Image (with Qty)",
                           "get_item_image2_qty ", 14, true};

// Text with the characters that carry meaning in HTML replaced by their references.
std::string Escaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// An attribute value that comes from outside: escaped, then quoted.
std::string Attribute(std::string_view value) {
  return QuoteText(Escaped(value));
}

// The host the browser addressed: the server name, with the port of the Host header when that
// header is the server name and a port. Pages served on a port other than 80 then post their
// form and load their images from that port too.
std::string PageHost(const Call& call) {
  const std::string& host = call.request.server_variables.get("HTTP_HOST");
  const std::string& name = call.server_name;
  if (host.size() <= name.size() + 1 || !host.starts_with(name) || host[name.size()] != ':') {
    return name;
  }
  for (size_t i = name.size() + 1; i < host.size(); ++i) {
    if (host[i] < '0' || host[i] > '9') return name;
  }
  return host;
}

class PageWriter {
 public:
  PageWriter(Call& call, const Page& page) : call_(call), page_(page), host_(PageHost(call)) {
    for (size_t i = 0; i < page_.keys; ++i) values_[i] = call_[kFilterKeys[i]];
  }

  std::string Write() {
    WriteHead();
    WriteForm();
    WriteItems();
    out_.append("<a href=" + QuoteText("#top") + ">Go to Top</a></body></html>");
    return out_.take();
  }

 private:
  // The session value of a filter key; "" for the key the first page does not read.
  const std::string& value(std::string_view key) const {
    const auto at = std::find(kFilterKeys.begin(), kFilterKeys.end(), key);
    return values_.at(static_cast<size_t>(at - kFilterKeys.begin()));
  }

  void WriteHead() {
    out_.append("<html><head>");
    out_.append("<meta http-equiv=" + QuoteText("Content-Language") +
                " content=" + QuoteText("en-us") + ">");
    out_.append("<meta http-equiv=" + QuoteText("Content-Type") +
                " content=" + QuoteText("text/html; charset=windows-1252") + ">");
    out_.append("<title>");
    out_.append(page_.title);
    out_.append("</title>");
    out_.append("<style>");
    out_.append(kCrLf);
    out_.append("<!--");
    out_.append("body { font-family: Tahoma; font-size: 8pt }");
    out_.append(kCrLf);
    out_.append("-->");
    out_.append(kCrLf);
    out_.append("</style></head>");
    out_.append("<body><h2><u><a name=" + QuoteText("top") + ">");
    out_.append(page_.title);
    out_.append("</a></u></h2>");
  }

  void Hidden(std::string_view name, std::string_view value) {
    out_.append("<input type=" + QuoteText("hidden") + " name=" + QuoteText(name) +
                " value=" + Attribute(value) + ">");
  }

  void WriteForm() {
    const std::string action = "http://" + host_ + std::string(kGatewayPath);
    out_.append("<form method=" + QuoteText("POST") + " action=" + Attribute(action) + ">");
    Hidden("userid", kPageUser);
    Hidden("dbinstance", call_.db_instance);
    Hidden("function", page_.function);

    out_.append("<table border=0");
    out_.append(kTableStyle);
    out_.append(" id=AutoNumber2>");
    for (const auto& row : kFilterRows) {
      out_.append("<tr>");
      for (const FilterField& field : row) {
        out_.append("<td width=15% align=right>");
        out_.append(field.label);
        out_.append("</td><td width=1%>:</td><td width=34%>");
        WriteControl(field);
        out_.append("</td>");
      }
      out_.append("</tr>");
    }
    out_.append("<tr>");
    if (page_.with_qty) {
      out_.append(
          "<td width=15% align=right>Show All Status</td><td width=1%>:</td><td width=34%>");
      out_.append("<select size=1 name=show_all_status>");
      Option("N", "NO", value("show_all_status"));
      Option("Y", "YES", value("show_all_status"));
      out_.append("</select></td>");
    } else {
      out_.append("<td colspan=3></td>");
    }
    out_.append("<td colspan=3><input type=submit value=" + QuoteText(" Get Records ") +
                " name=B1>&nbsp;&nbsp;<input type=reset value=" + QuoteText(" Clear ") +
                " name=B2></td></tr>");
    out_.append("</table></form>");
    out_.append("<hr>");
  }

  void WriteControl(const FilterField& field) {
    switch (field.control) {
      case Control::kText:
        out_.append("<input type=text name=");
        out_.append(field.key);
        out_.append(" size=30 value=" + Attribute(value(field.key)) + ">");
        return;
      case Control::kClassList:
        SelectList(field.key, "rpt_parameter_tbl_list 'PRODUCT CLASS'", "All Classes");
        return;
      case Control::kGroupList:
        SelectList(field.key, "rpt_parameter_tbl_list 'PRODUCT GROUP'", "All Groups");
        return;
    }
  }

  // One option; selected when its value is the session value.
  void Option(std::string_view option_value, std::string_view text, std::string_view chosen) {
    out_.append(option_value == chosen ? "<option selected " : "<option ");
    out_.append("value=" + Attribute(option_value) + ">" + Escaped(text) + "</option>");
  }

  // The codes of a parameter list as options. The second page starts with an option for every
  // code, whose value is the empty text: posted back, it selects no code.
  void SelectList(std::string_view key, std::string_view statement, std::string_view all) {
    const std::string& chosen = value(key);
    out_.append("<select size=1 name=");
    out_.append(key);
    out_.append(">");
    if (page_.with_qty) Option("", all, chosen);
    Recordset rs = call_.OpenRecordset(statement);
    for (; !rs.eof(); rs.move_next()) {
      const std::string code = rs.text("param_code");
      Option(code, code, chosen);
    }
    out_.append("</select>");
  }

  void WriteItems() {
    Sql sql(page_.statement);
    for (size_t i = 0; i < page_.keys; ++i) sql.text(values_[i]);
    Recordset rs = call_.OpenLastRecordset(sql);
    if (rs.bof() && rs.eof()) return;
    for (; !rs.eof(); rs.move_next()) WriteItem(rs);
  }

  void Cell(std::string_view attributes, std::string_view content) {
    out_.append("<td");
    out_.append(attributes);
    out_.append(">");
    out_.append(content);
    out_.append("</td>");
  }

  void WriteItem(const Recordset& rs) {
    const std::string name(trim(rs.text("image_filename"), " "));
    const std::string address =
        name.empty() || iequals(name, "NO IMAGE.JPG") ? "" : "http://" + host_ + "/image/" + name;

    // Header: item number, description, image file.
    out_.append("<table border=0");
    out_.append(kTableStyle);
    out_.append(" width=\"100%\" id=AutoNumber3><tr>");
    Cell(" width=15% height=40 bgcolor=\"#C0C0C0\"", "Item ");
    Cell(" width=1% height=40 bgcolor=\"#C0C0C0\"", ":");
    Cell(" width=84% height=40 bgcolor=\"#C0C0C0\"",
         "<b><u>" + Escaped(rs.text("item_no")) + "</u></b>");
    out_.append("</tr><tr>");
    Cell(" width=15%", "Description");
    Cell(" width=1%", ":");
    Cell(" width=84%", Escaped(rs.text("Description")));
    out_.append("</tr><tr>");
    Cell(" width=15%", "Image File");
    Cell(" width=1%", ":");
    Cell(" width=84%", address.empty() ? std::string()
                                       : "<a href=" + Attribute(address) + "><font size=2>" +
                                             Escaped(address) + "</font></a>");
    out_.append("</tr></table>");

    // Classification, with the image beside it.
    out_.append("<table border=0");
    out_.append(kTableStyle);
    out_.append(" width=\"100%\" id=AutoNumber4>");
    for (size_t r = 0; r < kDetailRows.size(); ++r) {
      out_.append("<tr>");
      for (const LabelledColumn& pair : kDetailRows[r]) {
        Cell(" width=15% height=30", pair.label);
        Cell(" width=1% height=30", ":");
        Cell(" width=15% height=30", Escaped(rs.text(pair.column)));
      }
      if (r == 0) {
        std::string image = "<img border=0 src=" + Attribute(address) + " width=266 height=200>";
        if (page_.with_qty) image = "<a href=" + Attribute(address) + ">" + image + "</a>";
        Cell(" width=40% rowspan=5 height=30", "<p align=center>" + image + "</p>");
      }
      out_.append("</tr>");
    }
    out_.append("</table>");

    if (page_.with_qty) WriteQuantities(rs);
    out_.append("<hr>");
  }

  void WriteQuantities(const Recordset& rs) {
    out_.append("<br></br><table border=0");
    out_.append(kTableStyle);
    out_.append(" width=\"100%\" id=AutoNumber5><tr>");
    const std::string first =
        std::string(" width=10% height=30 bgcolor=\"#C0C0C0\"") + std::string(kCellBorder);
    const std::string other = std::string(" width=10% height=30") + std::string(kCellBorder);
    for (size_t i = 0; i < kQuantities.size(); ++i) {
      Cell(i == 0 ? first : other, kQuantities[i].label);
    }
    out_.append("</tr><tr>");
    for (size_t i = 0; i < kQuantities.size(); ++i) {
      const std::string value = Escaped(rs.text(kQuantities[i].column));
      Cell(i == 0 ? first : other, i == 0 ? "<b>" + value + "</b>" : value);
    }
    out_.append("</tr></table>");
  }

  Call& call_;
  const Page& page_;
  const std::string host_;  // server name, and port when not the default
  std::array<std::string, kFilterKeys.size()> values_;
  OutputBuffer out_;
};

}  // namespace

std::string webrpt_get_item_image2(Call& call) {
  return PageWriter(call, kImagePage).Write();
}

std::string webrpt_get_item_image2_qty(Call& call) {
  return PageWriter(call, kQtyPage).Write();
}

}  // namespace talwen
