// The handlers of the receiving RF functions: the check-in dialogue (stations, receipt
// numbers, header, scanned lines, cartons, check-in and closing), receipt lines and look-ups,
// purchase orders and open receipts, and serial numbers of received goods.
//
// Every decision about a receipt is the database's; a handler gathers its session values,
// converts the few typed inputs (a failed conversion ends it with the empty reply before the
// database is called), calls the procedure and shapes the reply.
#pragma once

#include <string>

namespace talwen {

class Call;

// Check-in (check_in.cpp).
std::string rf_get_check_in_station(Call& call);
std::string rf_next_receipt_num(Call& call);
std::string rf_check_in_header(Call& call);
std::string rf_check_duplicate_receipt_detail(Call& call);
std::string rf_check_receipt_item_qty(Call& call);
std::string rf_receipt_check_carton(Call& call);
std::string rf_receipt_checkin(Call& call);
std::string rf_receipt_checkin_without_closing(Call& call);
std::string rf_receipt_checkin_carton_list(Call& call);
std::string rf_receipt_checkin_carton_list2(Call& call);
std::string rf_close_receipt2(Call& call);

// Receipt lines and look-ups (receipt_lines.cpp). rf_update_receipt_detail also serves the
// name "rf_update_receiptdetail".
std::string rf_update_receipt_detail(Call& call);
std::string rf_delete_receipt_line(Call& call);
std::string rf_update_receipt_detail_udf(Call& call);
std::string rf_receipt_item_udf(Call& call);
std::string rf_get_receipt_detail3(Call& call);
std::string rf_get_receipt_master(Call& call);
std::string rf_get_receipt_type(Call& call);
std::string rf_get_receipt_asn_item(Call& call);
std::string rf_get_item_closed_receipts(Call& call);
std::string rf_get_carton_rd(Call& call);

// Purchase orders and open receipts (purchase_orders.cpp).
std::string rf_get_open_pos(Call& call);
std::string rf_get_open_po_items(Call& call);
std::string rf_get_open_receipts(Call& call);
std::string rf_get_po_detail(Call& call);
std::string rf_get_po(Call& call);

// Serial numbers of received goods (receipt_serials.cpp).
std::string rf_update_receipt_serial(Call& call);
std::string rf_update_receipt_serial2(Call& call);
std::string rf_update_receipt_serial_adjustment(Call& call);
std::string rf_remove_receipt_serial(Call& call);
std::string rf_next_warrant_receipt(Call& call);

}  // namespace talwen
