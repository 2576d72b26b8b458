// What the fuzz targets share: the input as text, split into fields, and a failure that stops
// the run with the reason and the values involved (libFuzzer then keeps the input as a crash).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

// On the targets' own checks: left out of the coverage that steers the fuzzer, which should
// follow the code under test alone (and the checks run faster).
#define TALWEN_CHECK_ONLY __attribute__((no_sanitize("coverage")))

namespace talwen::fuzz {

inline std::string_view AsText(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// The byte between the fields of a structured input: a record separator, which no field of
// interest needs, so the seeds stay readable.
inline constexpr char kFieldSeparator = '\x1e';

// The first `count` fields of text; missing ones are "". The last field takes the rest of the
// text, separators included.
TALWEN_CHECK_ONLY inline std::vector<std::string_view> Fields(std::string_view text, size_t count) {
  std::vector<std::string_view> fields;
  while (fields.size() + 1 < count) {
    const size_t at = text.find(kFieldSeparator);
    if (at == std::string_view::npos) break;
    fields.push_back(text.substr(0, at));
    text.remove_prefix(at + 1);
  }
  fields.push_back(text);
  fields.resize(count);
  return fields;
}

// Bytes outside printable ASCII as \xHH, so a report shows what the value held.
TALWEN_CHECK_ONLY inline std::string Shown(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (const char c : text) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b >= 0x7f || c == '\\' || c == '"') {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// Stop the run: a property the target checks does not hold.
[[noreturn]] inline void Fail(std::string_view what, std::string_view got = {},
                              std::string_view expected = {}) {
  std::fprintf(stderr, "\n== fuzz check failed: %.*s\n", static_cast<int>(what.size()),
               what.data());
  if (!got.empty() || !expected.empty()) {
    std::fprintf(stderr, "   got      %s\n   expected %s\n", Shown(got).c_str(),
                 Shown(expected).c_str());
  }
  std::abort();
}

inline void Check(bool holds, std::string_view what, std::string_view got = {},
                  std::string_view expected = {}) {
  if (!holds) Fail(what, got, expected);
}

}  // namespace talwen::fuzz
