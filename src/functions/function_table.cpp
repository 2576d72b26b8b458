#include "functions/function_table.h"

#include <array>

#include "functions/counting/counting.h"
#include "functions/locations/locations.h"
#include "functions/picking/picking.h"
#include "functions/products/products.h"
#include "functions/putaway/putaway.h"
#include "functions/receiving/receiving.h"
#include "functions/session/session.h"
#include "functions/stock/stock.h"
#include "functions/tasks/tasks.h"
#include "webpages/webpages.h"

namespace talwen {
namespace {

// Every RF function the engine serves, one row each, grouped by subsystem:
//
//   name     the function as the pages name it, in lower case (the session's "function" is
//            matched after lower-casing it)
//   handler  the function that answers it; two names may share a handler (the older name
//            kept beside the newer); nullptr answers as an unknown function
//   flags    what the frame and the gateway must know beyond the handler (FunctionFlags);
//            none for most rows:
//              kUntraced     no trace-log entries around the call
//              kHtml         the reply is an HTML page, not tagged text
//              kDiagnostics  shows server and configuration details; the gateway restricts it
//
// docs/functions.md has one row per name with what the handler reads, calls and answers.
constexpr auto kFunctions = std::to_array<RfFunction>({
    // Session, user and reference data
    {"rf_about", rf_about, kDiagnostics},
    {"rf_about2", rf_about2, kDiagnostics},
    {"rf_about3", rf_about3, kDiagnostics},
    {"rf_check_user_password", rf_check_user_password},
    {"rf_get_carrier", rf_get_carrier},
    {"rf_get_client", rf_get_client},
    {"rf_get_client_customers", rf_get_client_customers},
    {"rf_get_client_customers2", rf_get_client_customers2},
    {"rf_get_facility_type", rf_get_facility_type},
    {"rf_get_item_grades", rf_get_item_grades},
    {"rf_get_last_client_accessed", rf_get_last_client_accessed},
    {"rf_get_operator_clients", rf_get_operator_clients},
    {"rf_get_operator_clients2", rf_get_operator_clients2},
    {"rf_get_reason_codes", rf_get_reason_codes},
    {"rf_get_supplier", rf_get_supplier},
    {"rf_get_system_config", rf_get_system_config},
    {"rf_get_system_config2", rf_get_system_config2},
    {"rf_get_system_config_rf", rf_get_system_config_rf},
    {"rf_get_uom_list", rf_get_uom_list},
    {"rf_get_user_access", rf_get_user_access},
    {"rf_get_user_client", rf_get_user_client},
    {"rf_get_user_profile", rf_get_user_profile},
    {"rf_get_user_station", rf_get_user_station},
    {"rf_get_user_tasks_priority", rf_get_user_tasks_priority},
    {"rf_get_user_warehouse", rf_get_user_warehouse},
    {"rf_print_queue", rf_print_queue},
    {"rf_system_logout", rf_system_logout},
    {"rf_update_last_client_accessed", rf_update_last_client_accessed},
    {"rf_verify_user_station", rf_verify_user_station},
    // Receiving
    {"rf_check_duplicate_receipt_detail", rf_check_duplicate_receipt_detail},
    {"rf_check_in_header", rf_check_in_header},
    {"rf_check_receipt_item_qty", rf_check_receipt_item_qty},
    {"rf_close_receipt2", rf_close_receipt2},
    {"rf_delete_receipt_line", rf_delete_receipt_line},
    {"rf_get_carton_rd", rf_get_carton_rd},
    {"rf_get_check_in_station", rf_get_check_in_station},
    {"rf_get_item_closed_receipts", rf_get_item_closed_receipts},
    {"rf_get_open_po_items", rf_get_open_po_items},
    {"rf_get_open_pos", rf_get_open_pos},
    {"rf_get_open_receipts", rf_get_open_receipts},
    {"rf_get_po", rf_get_po},
    {"rf_get_po_detail", rf_get_po_detail},
    {"rf_get_receipt_asn_item", rf_get_receipt_asn_item},
    {"rf_get_receipt_detail3", rf_get_receipt_detail3},
    {"rf_get_receipt_master", rf_get_receipt_master},
    {"rf_get_receipt_type", rf_get_receipt_type},
    {"rf_next_receipt_num", rf_next_receipt_num},
    {"rf_next_warrant_receipt", rf_next_warrant_receipt},
    {"rf_receipt_check_carton", rf_receipt_check_carton},
    {"rf_receipt_checkin", rf_receipt_checkin},
    {"rf_receipt_checkin_carton_list", rf_receipt_checkin_carton_list},
    {"rf_receipt_checkin_carton_list2", rf_receipt_checkin_carton_list2},
    {"rf_receipt_checkin_without_closing", rf_receipt_checkin_without_closing},
    {"rf_receipt_item_udf", rf_receipt_item_udf},
    {"rf_remove_receipt_serial", rf_remove_receipt_serial},
    {"rf_update_receipt_detail", rf_update_receipt_detail},
    {"rf_update_receipt_detail_udf", rf_update_receipt_detail_udf},
    {"rf_update_receipt_serial", rf_update_receipt_serial},
    {"rf_update_receipt_serial2", rf_update_receipt_serial2},
    {"rf_update_receipt_serial_adjustment", rf_update_receipt_serial_adjustment},
    {"rf_update_receiptdetail", rf_update_receipt_detail},
    // Putaway and replenishment
    {"rf_close_putaway_task", rf_close_putaway_task},
    {"rf_close_replenish_task", rf_close_replenish_task},
    {"rf_get_item_pickface", rf_get_item_pickface},
    {"rf_get_item_topup_location", rf_get_item_topup_location},
    {"rf_get_putaway_pallet", rf_get_putaway_pallet},
    {"rf_get_putaway_pallet_location", rf_get_putaway_pallet_location},
    {"rf_get_putaway_pallet_location2", rf_get_putaway_pallet_location2},
    {"rf_putaway_stock_movements_pallet", rf_putaway_stock_movements_pallet},
    {"rf_putaway_stock_movements_pallet2", rf_putaway_stock_movements_pallet2},
    {"rf_receipt_allocate_putaway_location", rf_receipt_allocate_putaway_location},
    {"rf_receipt_find_putaway_location", rf_receipt_find_putaway_location},
    {"rf_receipt_pallet_putaway", rf_receipt_pallet_putaway},
    {"rf_receipt_topup_putaway", rf_receipt_topup_putaway},
    // Picking and despatch
    {"rf_close_carton_pick_task", rf_close_carton_pick_task},
    {"rf_close_pick_task", rf_close_pick_task},
    {"rf_confirm_despatch", rf_confirm_despatch},
    {"rf_confirm_item_picked", rf_confirm_item_picked},
    {"rf_extract_despatch_list", rf_extract_despatch_list},
    {"rf_extract_order_picklist", rf_extract_order_picklist},
    {"rf_get_despatch_pallet_items", rf_get_despatch_pallet_items},
    {"rf_get_pending_task_order", rf_get_pending_task_order},
    {"rf_pick_find_matching_pallet", rf_pick_find_matching_pallet},
    {"rf_pick_sales_detail2", rf_pick_sales_detail2},
    {"rf_query_sales_detail2", rf_query_sales_detail2},
    {"rf_query_sales_order", rf_query_sales_order},
    {"rf_query_sales_order2", rf_query_sales_order2},
    {"rf_remove_so_serial", rf_remove_so_serial},
    {"rf_rpt_outstanding_sales_order", rf_rpt_outstanding_sales_order},
    {"rf_update_so_serial", rf_update_so_serial},
    {"rf_update_so_serial_warranty", rf_update_so_serial_warranty},
    // Stock movement and cartons
    {"rf_adjust_carton_qty", rf_adjust_carton_qty},
    {"rf_create_carton", rf_create_carton},
    {"rf_create_stock", rf_create_stock},
    {"rf_get_carton_items2", rf_get_carton_items2},
    {"rf_item_relocation", rf_item_relocation},
    {"rf_item_relocation2", rf_item_relocation2},
    {"rf_location_transfer", rf_location_transfer},
    {"rf_map_carton", rf_map_carton},
    {"rf_next_pallet_no", rf_next_pallet_no},
    {"rf_pallet_relocation", rf_pallet_relocation},
    {"rf_query_carton", rf_query_carton},
    {"rf_relocate_carton", rf_relocate_carton},
    {"rf_split_carton", rf_split_carton},
    {"rf_update_pallet_location_qty", rf_update_pallet_location_qty},
    {"rf_update_serial_pallet", rf_update_serial_pallet},
    // Cycle counting
    {"rf_cc_get_location_stock", rf_cc_get_location_stock},
    {"rf_cc_update_cycle_count", rf_cc_update_cycle_count},
    {"rf_check_location_status", rf_check_location_status},
    {"rf_close_count_task", rf_close_count_task},
    {"rf_initialise_rf_stkcount_location", rf_initialise_rf_stkcount_location},
    {"rf_update_rf_stkcount_carton", rf_update_rf_stkcount_carton},
    {"rf_update_rf_stkcount_location", rf_update_rf_stkcount_location},
    // Product and serial enquiries
    {"rf_delete_serial_no", rf_delete_serial_no},
    {"rf_get_available_serial_nos", rf_get_available_serial_nos},
    {"rf_get_barcode_item_no", rf_get_barcode_item_no},
    {"rf_get_matching_product", rf_get_matching_product},
    {"rf_get_matching_product2", rf_get_matching_product2},
    {"rf_get_packing_qty", rf_get_packing_qty},
    {"rf_get_product_description", rf_get_product_description},
    {"rf_get_product_info", rf_get_product_info},
    {"rf_get_product_owner", rf_get_product_owner},
    {"rf_get_product_uom", rf_get_product_uom},
    {"rf_get_product_uom_2_level", rf_get_product_uom_2_level},
    {"rf_get_serial_no", rf_get_serial_no},
    {"rf_get_serial_products", rf_get_serial_products},
    {"rf_get_serial_warranty_nos", rf_get_serial_warranty_nos},
    {"rf_update_product_barcode", rf_update_product_barcode},
    {"rf_update_product_uom_2_level", rf_update_product_uom_2_level},
    {"rf_update_serial_warranty", rf_update_serial_warranty},
    // Location and pallet enquiries
    {"rf_get_item_locations", rf_get_item_locations},
    {"rf_get_item_locations2", rf_get_item_locations2},
    {"rf_get_item_locations_grade", rf_get_item_locations_grade},
    {"rf_get_item_recnums", rf_get_item_recnums},
    {"rf_get_location_cartons", rf_get_location_cartons},
    {"rf_get_location_items", rf_get_location_items},
    {"rf_get_location_serial_nos", rf_get_location_serial_nos},
    {"rf_get_matching_location", rf_get_matching_location},
    {"rf_get_matching_location_pallet", rf_get_matching_location_pallet},
    {"rf_get_matching_pallet", rf_get_matching_pallet},
    {"rf_get_matching_pallet2", rf_get_matching_pallet2},
    {"rf_get_pallet_carton_items3", rf_get_pallet_carton_items3},
    {"rf_get_pallet_items", rf_get_pallet_items, kUntraced},  // answers "" at once
    {"rf_get_pallet_items2", rf_get_pallet_items2},
    {"rf_get_pallet_items3", rf_get_pallet_items3},
    {"rf_get_pallet_location", rf_get_pallet_location},
    {"rf_get_pallet_serial_nos", rf_get_pallet_serial_nos},
    {"rf_get_warehouse_location_pallet", rf_get_warehouse_location_pallet},
    // Tasks, works orders and reports
    {"rf_assign_whse_task_manual", rf_assign_whse_task_manual},
    {"rf_assign_works_order", rf_assign_works_order},
    {"rf_get_stock_movements_task_info", rf_get_stock_movements_task_info},
    {"rf_get_unfinished_works_order", rf_get_unfinished_works_order},
    {"rf_get_wo", rf_get_wo},
    {"rf_query_stock_movements", rf_query_stock_movements},
    {"rf_rpt_os_tasks", rf_rpt_os_tasks},
    // Item image web pages
    {"webrpt_get_item_image2", webrpt_get_item_image2, kHtml},
    {"webrpt_get_item_image2_qty", webrpt_get_item_image2_qty, kHtml},
});

}  // namespace

const FunctionTable& RfFunctions() {
  static const FunctionTable table(kFunctions);
  return table;
}

std::span<const RfFunction> AllFunctions() {
  return kFunctions;
}

const RfFunction* FindFunction(std::string_view lower_name) {
  return RfFunctions().find(lower_name);
}

}  // namespace talwen
