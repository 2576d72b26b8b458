// A folder served over HTTP: the item images at /image/, the --www pages at /. Never a file
// outside the folder.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "host/http_server.h"

namespace talwen::host {

class StaticFolder {
 public:
  // nullopt when folder is not a folder.
  static std::optional<StaticFolder> Open(const std::string& folder);

  // Answer with the file at relative (a decoded path below the folder; "index.html" for a
  // folder's own path ending in "/"). false, with response untouched, when there is no such
  // file or the path leads out of the folder.
  bool serve(std::string_view relative, HttpResponse& response) const;

 private:
  explicit StaticFolder(std::string folder) : folder_(std::move(folder)) {}
  std::string folder_;
};

// The media type of a file name, from its extension.
std::string_view MediaTypeOfFile(std::string_view name);

}  // namespace talwen::host
