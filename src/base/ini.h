// IniFile: a profile (INI) file, read with the rules of the classic profile functions.
//
// The text is parsed once into sections of lines; lookups never touch the file again. Names
// of sections and keys compare case-insensitively (ASCII), the first matching section and the
// first matching key in it win, and whole-line comments (";" or "#") are invisible to both
// reads. An IniFile is an immutable value: safe to share between threads once built.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talwen {

class IniFile {
 public:
  // Size of the buffer a string read fills: the value plus its terminator.
  static constexpr std::size_t kStringBufferSize = 255;
  // Size of the buffer a section read fills: every line with its terminator, plus one more.
  static constexpr std::size_t kSectionBufferSize = 32767;

  // Parse profile text: LF or CR LF line ends, an optional UTF-8 byte-order mark.
  static IniFile parse(std::string_view text);
  // Read the file at path; std::nullopt when it cannot be read (missing file = no values).
  static std::optional<IniFile> load(const std::string& path);

  // Return the value of key in section, or default_value when the section or the key is
  // missing. Surrounding blanks are trimmed and one pair of matching quotes is removed; the
  // result is cut to 254 bytes (never inside a UTF-8 character).
  std::string read_string(std::string_view section, std::string_view key,
                          std::string_view default_value) const;
  // Return the lines of section in file order joined with ";": "" when the section is missing
  // or its lines total fewer than 3 characters with their terminators. Lines that would not
  // fit whole in the section buffer are left out.
  std::string read_section(std::string_view section) const;

 private:
  // One non-blank, non-comment line of a section.
  struct Line {
    std::string key;                   // trimmed text before the first "=", or the whole line
    std::optional<std::string> value;  // trimmed text after the first "="; none without "="
    std::string text() const { return value ? key + "=" + *value : key; }
  };
  struct Section {
    std::string name;  // trimmed text between "[" and "]"
    std::vector<Line> lines;
  };

  const Section* find_section(std::string_view name) const;

  std::vector<Section> sections_;  // in file order; duplicates kept, the first one is found
};

}  // namespace talwen
