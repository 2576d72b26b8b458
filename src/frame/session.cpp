#include "frame/session.h"

#include "base/text.h"

namespace talwen {
namespace {

const std::string kEmpty;

}  // namespace

int Values::index_of(std::string_view key) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    const std::string& name = items_[i].first;
    if (name.size() == key.size() && iequals(name, key)) return static_cast<int>(i);
  }
  return -1;
}

void Values::set(std::string_view key, std::string_view value) {
  if (const int i = index_of(key); i >= 0) {
    items_[i].second.assign(value);
    return;
  }
  items_.emplace_back(std::string(key), std::string(value));
}

const std::string& Values::get(std::string_view key) const {
  const int i = index_of(key);
  return i >= 0 ? items_[i].second : kEmpty;
}

}  // namespace talwen
