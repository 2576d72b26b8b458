// The handlers of the picking and despatch RF functions.
//
// Order picking: the pick list of a sales order, the confirmation of each picked item, the
// closing of pick and carton-pick tasks, the pallets that can serve an order line, the picking
// of an order line from one pallet onto another, and the orders with pending tasks.
// Sales orders and despatch: order header, lines and outstanding orders, the pallets waiting
// for despatch and their contents, the despatch of a pallet onto a trip, and the serial
// numbers shipped against an order.
//
// Allocation, tasks and stock movements are the database's business; these handlers pass the
// session values in their fixed order and shape the replies.
//
// Settled here:
// - A pick-list or despatch-list row whose pallet label is empty (stock in a pick face has no
//   pallet) is written with two empty values in the label's place, so the line keeps its count
//   of values; the rest of the list is written as usual.
// - A pending-task-order result without a column named exactly "order_ref" or "client_ref"
//   lists its rows with that tag empty.
// - The order line, task and activity of a warranty serial number are 16-bit integers: a
//   number outside -32768..32767 ends the call with the empty reply before the database is
//   asked anything, rather than being passed as some other number.
// - The pick list's statement runs once: it allocates stock, so running it again to reach its
//   last result set would allocate again.
#pragma once

#include <string>

namespace talwen {

class Call;

// Order picking (order_picking.cpp).
std::string rf_extract_order_picklist(Call& call);
std::string rf_confirm_item_picked(Call& call);
std::string rf_close_pick_task(Call& call);
std::string rf_close_carton_pick_task(Call& call);
std::string rf_pick_find_matching_pallet(Call& call);
std::string rf_pick_sales_detail2(Call& call);
std::string rf_get_pending_task_order(Call& call);

// Sales order enquiries (sales_orders.cpp).
std::string rf_query_sales_order(Call& call);
std::string rf_query_sales_order2(Call& call);
std::string rf_query_sales_detail2(Call& call);
std::string rf_rpt_outstanding_sales_order(Call& call);

// Despatch (despatch.cpp).
std::string rf_extract_despatch_list(Call& call);
std::string rf_get_despatch_pallet_items(Call& call);
std::string rf_confirm_despatch(Call& call);

// Serial numbers shipped against an order (order_serials.cpp).
std::string rf_update_so_serial(Call& call);
std::string rf_update_so_serial_warranty(Call& call);
std::string rf_remove_so_serial(Call& call);

}  // namespace talwen
