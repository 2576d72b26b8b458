// The item image pages: whole HTML pages for a desktop browser, with a search form that posts
// back to the gateway and one block per matching item with its image and classification; the
// second page adds the item's stock quantities and a switch for items of every status.
#pragma once

#include <string>
#include <string_view>

namespace talwen {

// The address the pages post to: the gateway's one path, which the pages and bookmarks in the
// field use.
inline constexpr std::string_view kGatewayPath = "/talwen/http_talwen.asp";

class Call;

std::string webrpt_get_item_image2(Call& call);
std::string webrpt_get_item_image2_qty(Call& call);

}  // namespace talwen
