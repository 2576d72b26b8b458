// The INI reader: any text parses; every value read is a piece of the file (or the default),
// at most 254 bytes and cut only between characters; a key written under a section header is
// read back as written, whatever else the file holds.
//
// Input: the whole input is one file; split at 0x1E into section name, key, value and the rest
// of a file, it is also written as "[section]\nkey=value\n" + rest and read back.
#include <string>

#include "base/ini.h"
#include "base/text.h"
#include "fuzz/fuzz_input.h"

namespace talwen::fuzz {
namespace {

constexpr std::string_view kLineBlanks = " \t\r\v\f";
constexpr std::string_view kDefault =
    "\x01"
    "default";

// Is text well-formed UTF-8 as far as sequence lengths go (lead byte, then its continuations)?
TALWEN_CHECK_ONLY bool WholeCharacters(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    const size_t length = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (size_t k = 1; k < length; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += length;
  }
  return true;
}

// Every read of a file's own sections and keys gives a piece of the file or the default.
TALWEN_CHECK_ONLY void CheckWholeFile(std::string_view text) {
  const IniFile ini = IniFile::parse(text);
  std::string_view section;
  size_t lookups = 0;
  for (std::string_view rest = text; !rest.empty() && lookups < 64; ++lookups) {
    const size_t end = rest.find('\n');
    const std::string_view line = trim(rest.substr(0, end), kLineBlanks);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (line.starts_with('[')) {
      section = trim(line.substr(1, line.rfind(']') - 1), kLineBlanks);
      const std::string joined = ini.read_section(section);
      Check(joined.size() < IniFile::kSectionBufferSize, "a section read past its buffer");
      continue;
    }
    const std::string_view key = trim(line.substr(0, line.find('=')), kLineBlanks);
    const std::string value = ini.read_string(section, key, kDefault);
    Check(value.size() < IniFile::kStringBufferSize, "a value read past its buffer", value);
    Check(value == kDefault || text.find(value) != std::string_view::npos,
          "a value that is not in the file", value);
  }
}

// A key written as the first line of the first section is read back as written.
TALWEN_CHECK_ONLY void CheckWrittenKey(std::string_view section, std::string_view key,
                                       std::string_view value, std::string_view rest) {
  const std::string_view name = trim(section, kLineBlanks);
  const std::string_view bare_key = trim(key, kLineBlanks);
  for (const std::string_view part : {section, key, value}) {
    if (part.find('\n') != std::string_view::npos) return;
  }
  if (bare_key.empty() || key.find('=') != std::string_view::npos || bare_key.front() == ';' ||
      bare_key.front() == '#' || bare_key.front() == '[') {
    return;
  }
  const std::string text = "[" + std::string(section) + "]\n" + std::string(key) + "=" +
                           std::string(value) + "\n" + std::string(rest);
  const IniFile ini = IniFile::parse(text);

  std::string_view expected = trim(value, kLineBlanks);
  if (expected.size() >= 2 && (expected.front() == '"' || expected.front() == '\'') &&
      expected.back() == expected.front()) {
    expected = expected.substr(1, expected.size() - 2);
  }
  // Names compare without regard to letter case.
  const std::string read = ini.read_string(to_upper(name), to_lower(bare_key), kDefault);
  Check(expected.starts_with(read), "a key read back as another value", read, expected);
  if (expected.size() < IniFile::kStringBufferSize) {
    Check(read.size() == expected.size(), "a short value read back cut", read, expected);
  } else {
    Check(read.size() < IniFile::kStringBufferSize &&
              read.size() + 3 >= IniFile::kStringBufferSize - 1,
          "a long value cut at the wrong length", read, expected);
    Check(!WholeCharacters(expected) || WholeCharacters(read), "a cut inside a character", read);
  }
}

}  // namespace
}  // namespace talwen::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace talwen::fuzz;
  const std::string_view text = AsText(data, size);
  CheckWholeFile(text);
  const auto fields = Fields(text, 4);
  CheckWrittenKey(fields[0], fields[1], fields[2], fields[3]);
  return 0;
}
