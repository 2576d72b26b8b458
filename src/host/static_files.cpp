#include "host/static_files.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>

#include "base/text.h"

namespace talwen::host {

std::optional<StaticFolder> StaticFolder::Open(const std::string& folder) {
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::nullopt;
  std::string path = folder;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return StaticFolder(std::move(path));
}

bool StaticFolder::serve(std::string_view relative, HttpResponse& response) const {
  if (relative.find('\0') != std::string_view::npos ||
      relative.find('\\') != std::string_view::npos) {
    return false;
  }
  // No step out of the folder, however the path is written.
  for (std::string_view rest = relative; !rest.empty();) {
    const size_t slash = rest.find('/');
    if (rest.substr(0, slash) == "..") return false;
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
  }
  std::string path = folder_ + "/" + std::string(relative);
  if (relative.empty() || relative.back() == '/') path += "index.html";
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  response.body.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  response.status = 200;
  response.content_type = MediaTypeOfFile(path);
  return true;
}

std::string_view MediaTypeOfFile(std::string_view name) {
  static constexpr std::pair<std::string_view, std::string_view> kTypes[] = {
      {"html", "text/html"},     {"htm", "text/html"},         {"css", "text/css"},
      {"js", "text/javascript"}, {"mjs", "text/javascript"},   {"json", "application/json"},
      {"txt", "text/plain"},     {"xml", "application/xml"},   {"jpg", "image/jpeg"},
      {"jpeg", "image/jpeg"},    {"png", "image/png"},         {"gif", "image/gif"},
      {"svg", "image/svg+xml"},  {"ico", "image/x-icon"},      {"webp", "image/webp"},
      {"bmp", "image/bmp"},      {"pdf", "application/pdf"},   {"woff", "font/woff"},
      {"woff2", "font/woff2"},   {"wasm", "application/wasm"},
  };
  const size_t dot = name.rfind('.');
  const size_t slash = name.rfind('/');
  if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash)) {
    const std::string_view extension = name.substr(dot + 1);
    for (const auto& [known, type] : kTypes) {
      if (iequals(extension, known)) return type;
    }
  }
  return "application/octet-stream";
}

}  // namespace talwen::host
