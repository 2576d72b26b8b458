#include "frame/reply.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/shapes.h"
#include "support/scripted_provider.h"

namespace talwen {
namespace {

using testing::T;

TEST(Tags, NothingEscapedOrTrimmed) {
  EXPECT_EQ(MakeTag("sqlstatus", Value::int32(0)), "<sqlstatus>0</sqlstatus>");
  EXPECT_EQ(MakeTag("a", Value::null()), "<a></a>");
  EXPECT_EQ(MakeTag("a", " x<y & z "), "<a> x<y & z </a>");
  EXPECT_EQ(MakeTag("Qty", Value::decimal("2.50")), "<Qty>2.5</Qty>");
  EXPECT_EQ(QuoteText("say \"hi\""), "\"say \"hi\"\"");
  EXPECT_EQ(StatusReply("-1", "No client found."),
            "<sqlstatus>-1</sqlstatus><sqlmsg>No client found.</sqlmsg>");

  OutputBuffer out;
  out.tag("a", Value::boolean(true));
  out.tag("b", "");
  out.append("é");  // one character in two bytes
  EXPECT_EQ(out.text(), "<a>True</a><b></b>é");
  EXPECT_EQ(out.position(), 20) << "the position counts characters from 1, not bytes";
}

TEST(OutputBuffer, HoldsAtMostOneMillionCharacters) {
  OutputBuffer out;
  out.append(std::string(999'990, 'x'));
  out.append("123456789");
  out.append("0");
  EXPECT_EQ(out.position(), OutputBuffer::kCapacity + 1) << "exactly full is allowed";
  EXPECT_THROW(out.append("y"), ReplyTooLong);

  OutputBuffer wide;
  wide.append(std::string(999'999, 'x'));
  EXPECT_THROW(wide.append("\xF0\x9F\x93\xA6"), ReplyTooLong)
      << "a character outside the basic plane counts twice";
  EXPECT_NO_THROW(wide.append("é"));
}

// A grid of `rows` records, each exactly `width` characters long when written
// ("<record><item_no>Innnn</item_no><d>...</d></record>"), the first one `first_extra` longer.
ResultGrid Listing(int rows, int width, int first_extra = 0, std::string_view filler = "x") {
  std::vector<db::Row> data;
  const int fixed = 8 + 9 + 24 + 7;  // <record></record>, <item_no>Innnn</item_no>, <d></d>
  for (int r = 0; r < rows; ++r) {
    std::string d;
    for (int i = 0; i < width - fixed + (r == 0 ? first_extra : 0); ++i) d += filler;
    char item[16];
    std::snprintf(item, sizeof item, "I%04d", r);
    data.push_back({T(item), T(d)});
  }
  return ResultGrid({{"item_no"}, {"d"}}, std::move(data));
}

// The item numbers of the records of a reply, and whether it ends with the sentinel.
std::pair<int, bool> Summary(const std::string& reply) {
  int records = 0;
  for (size_t at = reply.find("<record><item_no>I"); at != std::string::npos;
       at = reply.find("<record><item_no>I", at + 1)) {
    ++records;
  }
  return {records, reply.ends_with("<record><item_no><Too many records></item_no></record>")};
}

TEST(Cutoff, StopsAfterTheRecordThatPassesTheThreshold) {
  const struct {
    const char* proves;
    ResultGrid grid;
    std::string limit;
    int records;
    bool sentinel;
  } cases[] = {
      // 1 + 100 * 164 = 16401 is the first position above 16383.
      {"1,000 records of 100 characters", Listing(1000, 100), "50", 164, true},
      // 1 + 182 + 100 * 162 = 16383 is not above the threshold; one more record is.
      {"a position of exactly 16383 goes on", Listing(1000, 100, 82), "1", 164, true},
      {"a position of 16384 stops", Listing(1000, 100, 83), "1", 163, true},
      {"characters are counted, not bytes", Listing(1000, 100, 0, "é"), "1", 164, true},
      {"a blank limit lists every row", Listing(1000, 100), "", 1000, false},
      {"a limit of spaces lists every row", Listing(1000, 100), "   ", 1000, false},
      {"a short listing ends without the sentinel", Listing(163, 100), "1", 163, false},
      {"the last record may still pass and get the sentinel", Listing(164, 100), "1", 164, true},
      {"no rows, no records", ResultGrid({{"item_no"}, {"d"}}, std::nullopt), "1", 0, false},
  };
  for (const auto& c : cases) {
    const std::string reply = RecordsReply(c.grid, Cutoff(c.limit, "item_no"));
    EXPECT_EQ(Summary(reply), std::make_pair(c.records, c.sentinel)) << c.proves;
  }
  EXPECT_EQ(RecordsReply(Listing(1, 48)), "<record><item_no>I0000</item_no><d></d></record>");
}

TEST(Cutoff, KeepsItsKeyName) {
  // The key may come from a temporary text; the cut-off must not read it after it is gone.
  const Cutoff cutoff("5", std::string("serial_no_of_the_carton_item"));
  OutputBuffer out;
  out.append(std::string(16382, 'x'));
  EXPECT_FALSE(cutoff.reached(out));
  out.append("x");
  EXPECT_TRUE(cutoff.reached(out));
  EXPECT_TRUE(out.text().ends_with(
      "<record><serial_no_of_the_carton_item><Too many records></serial_no_of_the_carton_item>"
      "</record>"));
}

}  // namespace
}  // namespace talwen
