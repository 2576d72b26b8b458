#include "frame/dispatch.h"

#include <algorithm>

namespace talwen {

FunctionTable::FunctionTable(std::span<const RfFunction> rows) : rows_(rows) {
  for (const RfFunction& row : rows_) by_name_.push_back(&row);
  std::sort(by_name_.begin(), by_name_.end(), [](auto* a, auto* b) { return a->name < b->name; });
}

const RfFunction* FunctionTable::find(std::string_view lower_name) const {
  const auto it =
      std::lower_bound(by_name_.begin(), by_name_.end(), lower_name,
                       [](const RfFunction* row, std::string_view n) { return row->name < n; });
  if (it == by_name_.end() || (*it)->name != lower_name || (*it)->handler == nullptr)
    return nullptr;
  return *it;
}

}  // namespace talwen
