// The item image pages: whole HTML pages with a search form and one block per item.
#pragma once

#include <string>

namespace talwen {

class Call;

}  // namespace talwen
