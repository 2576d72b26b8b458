// The handlers of the putaway RF functions: received pallets moved into storage, and pick
// faces topped up and replenished.
//
// pallets.cpp: the list of pallets waiting for putaway, a destination for one pallet, the move
// confirmed; and putaway straight from a receipt (locations allocated for a receipt, found for
// one pallet, the pallet posted into the scanned location).
// topup.cpp: one received stock line posted into a location; the pick faces and top-up
// locations of a product.
// tasks.cpp: putaway and replenishment tasks closed.
//
// Every handler makes one database call in one of the three call forms and shapes its answer;
// all decisions about stock, tasks and locations are the database's.
#pragma once

#include <string>

namespace talwen {

class Call;

// Pallet putaway.
std::string rf_get_putaway_pallet(Call& call);
std::string rf_get_putaway_pallet_location(Call& call);
std::string rf_get_putaway_pallet_location2(Call& call);
std::string rf_receipt_allocate_putaway_location(Call& call);
std::string rf_receipt_find_putaway_location(Call& call);
std::string rf_receipt_pallet_putaway(Call& call);
std::string rf_putaway_stock_movements_pallet(Call& call);
std::string rf_putaway_stock_movements_pallet2(Call& call);
std::string rf_close_putaway_task(Call& call);

// Top-up putaway and replenishment.
std::string rf_receipt_topup_putaway(Call& call);
std::string rf_get_item_topup_location(Call& call);
std::string rf_get_item_pickface(Call& call);
std::string rf_close_replenish_task(Call& call);

}  // namespace talwen
