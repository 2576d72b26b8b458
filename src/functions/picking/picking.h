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
