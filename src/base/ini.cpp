#include "base/ini.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "base/text.h"

namespace talwen {

namespace {

// Blanks around lines, names and values: a file written on another system may carry any.
constexpr std::string_view kLineBlanks = " \t\r\v\f";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Drop one pair of matching double or single quotes around the whole value.
std::string_view unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

// Cut s to at most max bytes. When the cut would split a UTF-8 sequence, the whole character
// goes (looking back at most three continuation bytes, so single-byte text is cut exactly).
std::string cut(std::string_view s, std::size_t max) {
  if (s.size() <= max) return std::string(s);
  std::size_t n = max;
  for (int back = 0; back < 3 && n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80;
       ++back) {
    --n;
  }
  if ((static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) n = max;  // not UTF-8 after all
  return std::string(s.substr(0, n));
}

// Owns a file descriptor for the length of a read.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

IniFile IniFile::parse(std::string_view text) {
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  IniFile ini;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = trim(text.substr(0, end), kLineBlanks);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);

    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      // The name runs to the last "]"; a header missing its "]" still opens a section, so a
      // typing slip cannot pour one instance's keywords into the section above it.
      const std::size_t close = line.rfind(']');
      const std::string_view name =
          line.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1);
      ini.sections_.push_back(Section{std::string(trim(name, kLineBlanks)), {}});
      continue;
    }
    if (ini.sections_.empty()) continue;  // lines above the first header belong to no section

    std::vector<Line>& lines = ini.sections_.back().lines;
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      lines.push_back(Line{std::string(line), std::nullopt});
    } else {
      lines.push_back(Line{std::string(trim(line.substr(0, equals), kLineBlanks)),
                           std::string(trim(line.substr(equals + 1), kLineBlanks))});
    }
  }
  return ini;
}

std::optional<IniFile> IniFile::load(const std::string& path) {
  const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) return std::nullopt;
  std::string text;
  std::array<char, 4096> chunk;
  for (;;) {
    const ssize_t n = ::read(file.get(), chunk.data(), chunk.size());
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::nullopt;  // a folder, or a read error: no values rather than half of them
    }
    text.append(chunk.data(), static_cast<std::size_t>(n));
  }
  return parse(text);
}

std::string IniFile::read_string(std::string_view section, std::string_view key,
                                 std::string_view default_value) const {
  constexpr std::size_t kMaxLength = kStringBufferSize - 1;
  if (const Section* found = find_section(section)) {
    for (const Line& line : found->lines) {
      if (line.value && iequals(line.key, key)) return cut(unquote(*line.value), kMaxLength);
    }
  }
  // Trailing blanks of the default are dropped, as the profile functions do.
  return cut(trim_right(default_value, kLineBlanks), kMaxLength);
}

std::string IniFile::read_section(std::string_view section) const {
  const Section* found = find_section(section);
  if (found == nullptr) return {};
  std::string joined;
  std::size_t count = 0;  // characters in the buffer: each line and its terminator
  for (const Line& line : found->lines) {
    const std::string text = line.text();
    // Stop before a line that would not fit whole next to the closing terminator: a cut line
    // could hand the connection a shortened password or server name.
    if (count + text.size() + 1 + 1 > kSectionBufferSize) break;
    if (count > 0) joined += ';';
    joined += text;
    count += text.size() + 1;
  }
  return count < 3 ? std::string() : joined;
}

const IniFile::Section* IniFile::find_section(std::string_view name) const {
  for (const Section& section : sections_) {
    if (iequals(section.name, name)) return &section;
  }
  return nullptr;
}

}  // namespace talwen
