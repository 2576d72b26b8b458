// The function index (docs/function_index.md): one row per RF function, generated from the
// function table, the handlers' sources and one traced run of each handler. The test fails
// when the index and the code disagree, for instance when a function is added without its row;
// TALWEN_WRITE_FUNCTION_INDEX=1 rewrites the file instead.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "frame/call.h"
#include "functions/function_table.h"
#include "support/harness.h"

namespace talwen::testing {
namespace {

namespace fs = std::filesystem;

const fs::path kSource = TALWEN_SOURCE_DIR;
const fs::path kIndex = kSource / "docs/function_index.md";

// The frame's reply shapes a handler may name (src/frame/shapes.h, reply.h, products/listing.h).
constexpr const char* kShapes[] = {
    "FirstRowReply",    "RecordsReply",        "WriteRecords",      "WriteTypedRecords",
    "FirstRowFields",   "FieldRecordsReply",   "WriteFieldRecords", "FieldPerRowReply",
    "WriteFieldPerRow", "WriteFields",         "LineRecordsReply",  "StockLinesReply",
    "RenamedColumns",   "WriteColumnsRenamed", "GridStatusReply",   "SqlErrorReply",
    "FirstRowText",     "status_reply",        "StatusReply",       "Cutoff",
};

// A database that takes every statement and call and answers nothing: every procedure has
// inputs enough for any handler.
class AcceptingConnection : public db::Connection {
 public:
  std::vector<db::ResultSet> execute(std::string_view) override { return {}; }
  std::vector<db::Parameter> parameters(std::string_view) override {
    std::vector<db::Parameter> params = {{"@RETURN_VALUE", db::Direction::kReturnValue}};
    for (int i = 1; i <= 40; ++i) params.push_back({"@p" + std::to_string(i)});
    return params;
  }
  db::CallResult call(std::string_view, const std::vector<Value>& values) override {
    return {{}, values};
  }
};

std::string read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The handler named in each row of the table: function name -> handler identifier.
std::map<std::string, std::string> HandlerNames() {
  const std::string table = read(kSource / "src/functions/function_table.cpp");
  const std::regex row(R"re(\{"([a-z0-9_]+)", ([A-Za-z0-9_]+))re");
  std::map<std::string, std::string> names;
  for (auto it = std::sregex_iterator(table.begin(), table.end(), row);
       it != std::sregex_iterator(); ++it) {
    names[(*it)[1]] = (*it)[2];
  }
  return names;
}

struct Definition {
  std::string file;  // relative to the project folder
  std::string body;  // from the signature to the closing brace
};

// Where each handler is defined: "std::string name(Call&" at the start of a line.
std::map<std::string, Definition> Definitions() {
  std::map<std::string, Definition> found;
  const std::regex signature(R"re((^|\n)std::string ([A-Za-z0-9_]+)\(Call&)re");
  for (const char* folder : {"src/functions", "src/webpages"}) {
    for (const auto& entry : fs::recursive_directory_iterator(kSource / folder)) {
      if (entry.path().extension() != ".cpp") continue;
      const std::string text = read(entry.path());
      for (auto it = std::sregex_iterator(text.begin(), text.end(), signature);
           it != std::sregex_iterator(); ++it) {
        const size_t start = static_cast<size_t>(it->position(2));
        const size_t end = text.find("\n}\n", start);
        found[(*it)[2]] = {fs::relative(entry.path(), kSource).string(),
                           text.substr(start, end == std::string::npos ? end : end - start)};
      }
    }
  }
  return found;
}

// A value a handler will take for a key, so that its conversions let it reach the database.
std::string SampleValue(const std::string& key) {
  return key.find("date") != std::string::npos ? "2008-03-27" : "1";
}

// Does text name the identifier (not as part of a longer one)?
bool Names(std::string_view text, std::string_view identifier) {
  const auto word = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
  for (size_t at = text.find(identifier); at != std::string_view::npos;
       at = text.find(identifier, at + 1)) {
    const size_t end = at + identifier.size();
    if ((at == 0 || !word(text[at - 1])) && (end == text.size() || !word(text[end]))) return true;
  }
  return false;
}

void AddOnce(std::vector<std::string>& list, const std::string& item) {
  for (const std::string& i : list) {
    if (i == item) return;
  }
  list.push_back(item);
}

// Run the handler until the keys it reads settle: first with an empty session, then with a
// sample value for every key read so far. The keys of every run, the statements of the last
// (the one with every key given).
CallRecord Trace(const RfFunction& function) {
  Harness h;
  AcceptingConnection connection;
  CallRecord all;
  for (int run = 0; run < 4; ++run) {
    Session session("S1");
    for (const std::string& key : all.keys) session.set(key, SampleValue(key));
    talwen::Call call(h.env, session, h.request, connection);
    call.function_name = std::string(function.name);
    CallRecord record;
    call.record = &record;
    try {
      function.handler(call);
    } catch (...) {
    }
    const size_t known = all.keys.size();
    for (const std::string& key : record.keys) AddOnce(all.keys, key);
    all.statements = record.statements;
    if (run > 0 && all.keys.size() == known) break;
  }
  return all;
}

std::string Join(const std::vector<std::string>& items) {
  std::string out;
  for (const std::string& item : items) out += (out.empty() ? "" : ", ") + item;
  return out;
}

// The procedure a statement calls: its first word, after "exec " where the text starts so.
std::string ProcedureOf(std::string_view text) {
  if (text.starts_with("exec ")) text.remove_prefix(5);
  return std::string(text.substr(0, text.find(' ')));
}

std::string IndexText() {
  const auto handlers = HandlerNames();
  const auto definitions = Definitions();
  std::string text =
      "# RF functions: where each one is\n\n"
      "Generated from the function table (src/functions/function_table.cpp), the handlers'\n"
      "sources and one traced run of each handler; tests/functions/function_index_test.cpp\n"
      "fails when this file and the code disagree. Do not edit by hand: after a change, run\n"
      "`TALWEN_WRITE_FUNCTION_INDEX=1 build/tests/unit_tests --gtest_filter='FunctionIndex.*'`.\n\n"
      "Keys are the session keys the handler reads, in the order it first reads them. Form and\n"
      "procedure are the call forms and procedures of the statements it reaches when the\n"
      "database answers nothing (a handler that decides on a first answer may run more). Reply\n"
      "names the frame's shapes the handler uses (src/frame/shapes.h); a handler that names\n"
      "none writes its own tags. docs/functions.md and the subsystem notes tell what a page can\n"
      "rely on beyond this.\n\n"
      "| function | subsystem | source | keys | form | procedure | reply |\n"
      "|---|---|---|---|---|---|---|\n";
  for (const RfFunction& function : AllFunctions()) {
    const std::string name(function.name);
    const auto handler = handlers.find(name);
    const auto definition =
        handler == handlers.end() ? definitions.end() : definitions.find(handler->second);
    const bool found = definition != definitions.end();
    const std::string file = found ? definition->second.file : "?";
    std::string subsystem = file;
    if (subsystem.starts_with("src/functions/")) {
      subsystem = subsystem.substr(14, subsystem.find('/', 14) - 14);
    } else if (subsystem.starts_with("src/webpages/")) {
      subsystem = "webpages";
    }

    const CallRecord record = Trace(function);
    std::vector<std::string> forms, procedures;
    for (const std::string& statement : record.statements) {
      const size_t blank = statement.find(' ');
      AddOnce(forms, statement.substr(0, blank));
      AddOnce(procedures, ProcedureOf(std::string_view(statement).substr(blank + 1)));
    }
    std::vector<std::string> shapes;
    for (const char* shape : kShapes) {
      if (found && Names(definition->second.body, shape)) {
        shapes.push_back(std::string("`") + shape + "`");
      }
    }
    std::string reply = Join(shapes);
    if (function.flags & kHtml) reply = "HTML page";
    if (reply.empty()) reply = "own tags";
    std::string flags;
    if (function.flags & kUntraced) flags += " (untraced)";
    if (function.flags & kDiagnostics) flags += " (diagnostics)";

    text += "| " + name + flags + " | " + subsystem + " | " + file + " | " + Join(record.keys) +
            " | " + Join(forms) + " | " + Join(procedures) + " | " + reply + " |\n";
  }
  return text;
}

TEST(FunctionIndex, ListsEveryFunctionAsTheCodeHasIt) {
  const std::string expected = IndexText();
  if (std::getenv("TALWEN_WRITE_FUNCTION_INDEX")) {
    std::ofstream(kIndex, std::ios::binary | std::ios::trunc) << expected;
    GTEST_SKIP() << "rewrote " << kIndex;
  }
  EXPECT_EQ(read(kIndex), expected)
      << "docs/function_index.md is out of date: rewrite it with TALWEN_WRITE_FUNCTION_INDEX=1 "
         "build/tests/unit_tests --gtest_filter='FunctionIndex.*' and review the change";
  EXPECT_EQ(expected.find("| ? |"), std::string::npos) << "a handler without a source file";
}

}  // namespace
}  // namespace talwen::testing
