#include "frame/sql_arg.h"

#include <gtest/gtest.h>

#include <string>

namespace talwen {
namespace {

struct ArgCase {
  const char* proves;
  std::string value;
  const char* code;
  const char* expected;
};

void Check(const ArgCase* begin, const ArgCase* end) {
  for (const ArgCase* c = begin; c != end; ++c) {
    EXPECT_EQ(FormatSqlArg(c->value, c->code), c->expected)
        << c->proves << " [" << c->value << "] " << c->code;
  }
}

TEST(FormatSqlArg, TextAndNumbers) {
  const ArgCase cases[] = {
      {"blanks only are Null", "  ", "C", "Null"},
      {"empty is Null for numbers", "", "N", "Null"},
      {"empty is Null for any code", "", "Q", "Null"},
      {"text loses blanks, gains a blank and N", "  AB  ", "C", " N'AB'"},
      {"tabs are not blanks", "\tAB", "C", " N'\tAB'"},
      {"quotes are doubled", "it's 'x'", "C", " N'it''s ''x'''"},
      {"a lone quote", "'", "C", " N''''"},
      {"a leading NUL is null", std::string("\0x", 2), "C", "null"},
      {"the code ignores letter case", "a", "c", " N'a'"},
      {"numbers keep digits, point and minus", "12 345.50 kg", "N", "12345.50"},
      {"negative", "-1.50", "N", "-1.50"},
      {"an exponent loses its letter", "1e3", "n", "13"},
      {"no digits leave nothing", "abc", "N", ""},
      {"D is N", "$4.5", "D", "4.5"},
      {"two minus signs never start a comment", "12--", "N", "12- -"},
      {"nor three", "---1", "N", "- - -1"},
      {"fixed decimals", "12345", "N(15,2)", "123.45"},
      {"six fixed decimals", " 1234567 ", "n(15,6)", "1.234567"},
      {"a short value is padded to its decimals", "5", "N(15,2)", ".05"},
      {"behind its sign", "-5", "N(15,3)", "-.005"},
      {"a signed value keeps its sign in front", "+12345", "N(15,2)", "+123.45"},
      {"not numeric", "12a", "N(15,3)", "null"},
      {"N(15,7) is no code", "12345", "N(15,7)", "Null"},
      {"unknown code", "x", "Q", "Null"},
  };
  Check(std::begin(cases), std::end(cases));
}

TEST(FormatSqlArg, Dates) {
  const ArgCase cases[] = {
      {"year first", "20080327", "YYYYMMDD", "'27 Mar 2008'"},
      {"month 13 rolls into the next year", "08-13-01", "YY-MM-DD", "'01 Jan 2009'"},
      {"separators are not read", "2008.03.27", "YYYY-MM-DD", "'27 Mar 2008'"},
      {"slashes", "2008/12/01", "yyyy/mm/dd", "'01 Dec 2008'"},
      {"day 0 is the last day of the month before", "080300", "YYMMDD", "'29 Feb 2008'"},
      {"day first, two-digit year", "27/03/08", "DD/MM/YY", "'27 Mar 2008'"},
      {"two-digit years from 30 are 1900s", "27/03/30", "DD/MM/YY", "'27 Mar 1930'"},
      {"two-digit years to 29 are 2000s", "27-03-29", "DD-MM-YYYY", "'27 Mar 2029'"},
      {"day first, four-digit year", "05/01/2009", "DD/MM/YYYY", "'05 Jan 2009'"},
      {"month first", "01/05/2009", "MM/DD/YYYY", "'05 Jan 2009'"},
      {"month first, dashes", "12-31-1999", "MM-DD-YYYY", "'31 Dec 1999'"},
      {"a part without digits is 0", "2008xx27", "YYYYMMDD", "'27 Dec 2007'"},
      {"past year 9999 is Null", "99991301", "YYYYMMDD", "Null"},
      {"a year before 1000 still has four digits", "0199-12-27", "YYYY-MM-DD", "'27 Dec 0199'"},
      {"a month name", "27 Mar 2008", "DD MMM YYYY", "'27 Mar 2008'"},
      {"a month name in any case", "05 jan 2009", "dd mmm yyyy", "'05 Jan 2009'"},
      {"no such day with a month name", "30 Feb 2008", "DD MMM YYYY", "Null"},
      {"no such month name", "27 Mxr 2008", "DD MMM YYYY", "Null"},
      {"a two-digit year with a month name is no date", "27 Mar 08", "DD MMM YYYY", "Null"},
      {"a day with a letter is no date", "2x Mar 2008", "DD MMM YYYY", "Null"},
  };
  Check(std::begin(cases), std::end(cases));
}

TEST(Sql, JoinsTheTemplate) {
  EXPECT_EQ(Sql("get_supplier ").text("C01").text("S1").literal("'Y' ").str(),
            "get_supplier  N'C01',  N'S1', 'Y' ");
  EXPECT_EQ(Sql("rf_adjust_carton_qty ").text("C01").text("CTN9").number("").text("JOE").str(),
            "rf_adjust_carton_qty  N'C01',  N'CTN9', Null,  N'JOE'");
  EXPECT_EQ(Sql("exec x ").number("1").raw(",").number("2").raw(",").text("a").str(),
            "exec x 1,2, N'a'");
}

}  // namespace
}  // namespace talwen
