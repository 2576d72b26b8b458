// The handlers of the stock RF functions: stock moved inside the warehouse, and cartons.
//
// relocation.cpp: a stock line (by its record number), a whole pallet or a carton moved; a
// stock line's unit and quantity corrected; stock created in a location; pallet numbers drawn;
// serial numbers put on pallets.
// cartons.cpp: cartons created, mapped to a location, adjusted, split, looked up and listed.
//
// Every handler makes one database call in one of the three call forms; what happens to the
// stock is the database's business.
#pragma once

#include <string>

namespace talwen {

class Call;

// Stock relocation and pallet updates.
std::string rf_item_relocation(Call& call);
std::string rf_item_relocation2(Call& call);
std::string rf_location_transfer(Call& call);
std::string rf_pallet_relocation(Call& call);
std::string rf_relocate_carton(Call& call);
std::string rf_update_pallet_location_qty(Call& call);
std::string rf_next_pallet_no(Call& call);
std::string rf_create_stock(Call& call);
std::string rf_update_serial_pallet(Call& call);

// Cartons.
std::string rf_create_carton(Call& call);
std::string rf_map_carton(Call& call);
std::string rf_adjust_carton_qty(Call& call);
std::string rf_split_carton(Call& call);
std::string rf_query_carton(Call& call);
std::string rf_get_carton_items2(Call& call);

}  // namespace talwen
