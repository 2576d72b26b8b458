// The reply writers: the tagged reply counts its characters as the pages do, and the item image
// pages let no value (session, server name, Host header or database) add markup. A page is
// written twice, once with the values as they are and once with every character that could
// carry markup replaced, and both must have the same tags and attribute names.
//
// Input: fields separated by 0x1E: page switch, SERVER_NAME, HTTP_HOST, the 14 filter values,
// a product class code, a product group code, then the 23 columns of an item row.
#include <array>
#include <memory>
#include <string>

#include "frame/reply.h"
#include "fuzz/fuzz_input.h"
#include "support/harness.h"
#include "support/item_image_columns.h"

namespace talwen::fuzz {
namespace {

constexpr std::array<std::string_view, 14> kFilterKeys = {
    "userid",         "client",         "product_class",  "product_group",  "category",
    "sub_category",   "sub_category_1", "sub_category_2", "sub_category_3", "sub_category_4",
    "sub_category_5", "item_start",     "item_end",       "show_all_status"};

constexpr size_t kFirstFilter = 3;
constexpr size_t kClassCode = kFirstFilter + kFilterKeys.size();
constexpr size_t kFirstColumn = kClassCode + 2;
constexpr size_t kFieldCount = kFirstColumn + 23;

TALWEN_CHECK_ONLY bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f';
}

// The structure of an HTML text as a browser's tokenizer sees it: every tag with its name and
// attribute names (and unquoted attribute values, which only the page's own template writes).
// Quoted attribute values, text and comments are left out. "" when a "<" opens no tag.
TALWEN_CHECK_ONLY std::string Skeleton(std::string_view html) {
  std::string out;
  size_t i = 0;
  const auto at = [&](size_t k) { return k < html.size() ? html[k] : '\0'; };
  while ((i = html.find('<', i)) != std::string_view::npos) {
    if (html.substr(i).starts_with("<!--")) {
      const size_t end = html.find("-->", i + 4);
      if (end == std::string_view::npos) return "";
      i = end + 3;
      continue;
    }
    ++i;
    out += '<';
    if (at(i) == '/') out += html[i++];
    const size_t name = i;
    while (i < html.size() && ((at(i) >= 'a' && at(i) <= 'z') || (at(i) >= 'A' && at(i) <= 'Z') ||
                               (at(i) >= '0' && at(i) <= '9'))) {
      out += html[i++];
    }
    if (i == name) return "";
    for (;;) {
      while (IsSpace(at(i))) ++i;
      if (i >= html.size()) return "";
      if (html[i] == '>') break;
      out += ' ';
      while (i < html.size() && !IsSpace(html[i]) && html[i] != '>' && html[i] != '=') {
        out += html[i++];
      }
      if (at(i) != '=') continue;
      ++i;
      if (at(i) == '"' || at(i) == '\'') {
        const size_t close = html.find(html[i], i + 1);
        if (close == std::string_view::npos) return "";
        i = close + 1;
      } else {
        out += '=';
        while (i < html.size() && !IsSpace(html[i]) && html[i] != '>') out += html[i++];
      }
    }
    out += '>';
    ++i;
  }
  return out;
}

// "selected" marks the option equal to the session value: it may follow the values.
TALWEN_CHECK_ONLY std::string WithoutSelected(std::string skeleton) {
  for (size_t at; (at = skeleton.find(" selected")) != std::string::npos;) skeleton.erase(at, 9);
  return skeleton;
}

// A value with every character that could open or close markup replaced.
TALWEN_CHECK_ONLY std::string Neutral(std::string_view value) {
  std::string out(value);
  for (char& c : out) {
    if (c == '<' || c == '>' || c == '&' || c == '"' || c == '\'' || c == '=' || c == '`') c = 'x';
  }
  return out;
}

testing::Harness& SharedHarness() {
  static testing::Harness* harness = new testing::Harness();
  return *harness;
}

std::string WritePage(const std::vector<std::string>& fields) {
  testing::Harness& h = SharedHarness();
  h.db->statements.clear();
  h.db->answers.clear();
  h.db->answer({testing::Texts({"param_code"}, {{fields[kClassCode]}})});
  h.db->answer({testing::Texts({"param_code"}, {{fields[kClassCode + 1]}})});
  std::vector<Value> row;
  for (size_t c = 0; c < testing::kItemImageColumns.size(); ++c)
    row.push_back(Value::text(fields[kFirstColumn + c]));
  h.db->answer({testing::Rows(testing::kItemImageColumns, {row})});
  h.request.server_variables.set("SERVER_NAME", fields[1]);
  h.request.server_variables.set("HTTP_HOST", fields[2]);

  Session session("S1");
  const bool quantities = !fields[0].empty() && (fields[0][0] & 1) != 0;
  session.set("function", quantities ? "webrpt_get_item_image2_qty" : "webrpt_get_item_image2");
  for (size_t k = 0; k < kFilterKeys.size(); ++k) {
    session.set(kFilterKeys[k], fields[kFirstFilter + k]);
  }
  return h.call(session);
}

// The length of valid UTF-8 text in UTF-16 code units, or -1 when it is not valid UTF-8.
TALWEN_CHECK_ONLY long Utf16Length(std::string_view text) {
  long units = 0;
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const size_t length = b < 0x80         ? 1
                          : (b >> 5) == 6  ? 2
                          : (b >> 4) == 14 ? 3
                          : (b >> 3) == 30 ? 4
                                           : 0;
    if (length == 0 || i + length > text.size()) return -1;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return -1;
    }
    units += length == 4 ? 2 : 1;
    i += length;
  }
  return units;
}

TALWEN_CHECK_ONLY void CheckTaggedReply(const std::vector<std::string>& fields) {
  OutputBuffer out;
  std::string expected;
  for (size_t i = 0; i + 1 < fields.size(); i += 2) {
    out.tag(fields[i], fields[i + 1]);
    expected += MakeTag(fields[i], fields[i + 1]);
  }
  Check(out.text() == expected, "the buffer's tags differ from MakeTag", out.text(), expected);
  Check(out.position() == 1 + CharacterCount(expected), "the write position is off");
  const long units = Utf16Length(expected);
  Check(units < 0 || units == CharacterCount(expected), "characters not counted as UTF-16 units",
        std::to_string(CharacterCount(expected)), std::to_string(units));
}

}  // namespace
}  // namespace talwen::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace talwen::fuzz;
  const auto parts = Fields(AsText(data, size), kFieldCount);
  std::vector<std::string> fields(parts.begin(), parts.end());
  CheckTaggedReply(fields);

  const std::string page = WritePage(fields);
  Check(!page.empty(), "no page");
  std::vector<std::string> neutral;
  for (const std::string& f : fields) neutral.push_back(Neutral(f));
  neutral[0] = fields[0];
  const std::string plain = WritePage(neutral);
  const std::string skeleton = WithoutSelected(Skeleton(page));
  Check(!skeleton.empty(), "a page whose markup does not parse", page);
  Check(skeleton == WithoutSelected(Skeleton(plain)), "values changed the page's markup", page,
        plain);
  return 0;
}
