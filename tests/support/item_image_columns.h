// The columns of the item rows the item image pages read, in the order the report procedure
// returns them: for scripted answers (tests/webpages, fuzz/pages_fuzz.cpp).
#pragma once

#include <string>
#include <vector>

namespace talwen::testing {

inline const std::vector<std::string> kItemImageColumns = {"item_no",
                                                           "Description",
                                                           "image_filename",
                                                           "product_class",
                                                           "sub_category_1",
                                                           "product_group",
                                                           "sub_category_2",
                                                           "Status",
                                                           "sub_category_3",
                                                           "Category",
                                                           "sub_category_4",
                                                           "sub_category",
                                                           "sub_category_5",
                                                           "uom",
                                                           "qoh",
                                                           "qty_avail",
                                                           "qty_rcvg",
                                                           "qty_sales",
                                                           "qty_picking",
                                                           "qty_picked",
                                                           "qty_reserved",
                                                           "qoo",
                                                           "qty_free"};

}  // namespace talwen::testing
