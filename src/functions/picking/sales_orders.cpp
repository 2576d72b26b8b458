// Sales order enquiries: the order header, its lines, and the outstanding orders.
#include <span>
#include <string>

#include "frame/call.h"
#include "frame/grid.h"
#include "frame/reply.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "functions/picking/picking.h"

namespace talwen {
namespace {

// The order header; "status2" (last) is written by the second variant only.
constexpr TagField kOrderHeader[] = {
    {"client", "client"},
    {"so_no", "order_no"},
    {"customer", "customer"},
    {"customer_name", "customer_name"},
    {"dlvr_to", "dlvr_to"},
    {"dlvr_street", "dlvr_street"},
    {"dlvr_bldg", "dlvr_bldg"},
    {"dlvr_town", "dlvr_town"},
    {"dlvr_country", "dlvr_country"},
    {"dlvr_postcode", "dlvr_postcode"},
    {"despatch", "despatch"},
    {"delivery_date", "delivery_date", FormatIsoDate},
    {"remarks", "remarks"},
    {"status2", "status2"},
};
constexpr auto kOrderHeaderWithStatus2 = std::span(kOrderHeader);
constexpr auto kOrderHeaderWithoutStatus2 = kOrderHeaderWithStatus2.first<13>();

constexpr TagField kOrderLine[] = {
    {"client", "client"},
    {"customer", "customer"},
    {"reference_no", "reference_no"},
    {"so_no", "order_no"},
    {"line_no", "line_no"},
    {"org_item", "org_item"},
    {"item_no", "item_no"},
    {"uom", "uom"},
    {"qty", "qty"},
    {"qty_picked", "qty_picked"},
    {"qty_backorder", "qty_backorder"},
    {"qty_scanpack", "qty_scanpack"},
    {"item_description", "item_description"},
    {"serial_no_flag", "serial_no_flag"},
    {"num_serial", "num_serial"},
    {"lowest_uom", "lowest_uom"},
    {"luom_equivalent", "luom_equivalent"},
    {"status", "Status"},
};

constexpr TagField kOutstandingOrder[] = {
    {"client", "client"},
    {"so_no", "order_no"},
    {"customer", "customer"},
    {"customer_name", "customer_name"},
    {"deliver_to", "dlvr_to"},
    {"despatch", "despatch"},
    {"delivery_date", "delivery_date", FormatIsoDate},
};

// The header tags of the first row, without record wrapping; "" when there is no row.
std::string OrderHeaderReply(Call& call, std::string_view prefix,
                             std::span<const TagField> fields) {
  Recordset rs = call.OpenRecordset(
      Sql(prefix).text(call["client"]).text(call["customer"]).text(call["so_no"]));
  return FirstRowFields(rs, fields);
}

}  // namespace

std::string rf_query_sales_order(Call& call) {
  return OrderHeaderReply(call, "rf_query_sales_order ", kOrderHeaderWithoutStatus2);
}

std::string rf_query_sales_order2(Call& call) {
  return OrderHeaderReply(call, "rf_query_sales_order2 ", kOrderHeaderWithStatus2);
}

std::string rf_query_sales_detail2(Call& call) {
  Recordset rs = call.OpenRecordset(Sql("rf_query_sales_detail2 ")
                                        .text(call["client"])
                                        .text(call["customer"])
                                        .text(call["so_no"]));
  return FieldRecordsReply(rs, kOrderLine);
}

std::string rf_rpt_outstanding_sales_order(Call& call) {
  Recordset rs = call.OpenRecordset(Sql("rf_rpt_outstanding_sales_order ")
                                        .text(call["client"])
                                        .text(call["customer"])
                                        .text(call["despatch"]));
  return FieldRecordsReply(rs, kOutstandingOrder);
}

}  // namespace talwen
