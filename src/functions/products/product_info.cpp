// Product master data, owners, units of measure and packing quantities; new barcodes and the
// dimensions of a two-level unit.
#include <array>

#include "frame/call.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "functions/products/products.h"

namespace talwen {
namespace {

// The product field list: tag, field. The flags are answered by the view under short names
// ("lot_no" is the lot-number flag) and written here under their flag names.
constexpr auto kProductFields = std::to_array<TagField>({
    {"description", "Description"},
    {"pallet_config", "pallet_config"},
    {"expiry_prealert", "expiry_prealert"},
    {"reorder_level", "reorder_level"},
    {"product_group", "product_group"},
    {"category", "Category"},
    {"sub_category", "sub_category"},
    {"sub_category_1", "sub_category_1"},
    {"sub_category_2", "sub_category_2"},
    {"sub_category_3", "sub_category_3"},
    {"sub_category_4", "sub_category_4"},
    {"sub_category_5", "sub_category_5"},
    {"alternate_code", "alternate_code"},
    {"substitute", "substitute"},
    {"bonded_flag", "bonded_flag"},
    {"lot_no_flag", "lot_no"},
    {"expiry_date_flag", "expiry_dt"},
    {"item_size_flag", "item_size"},
    {"item_color_flag", "item_color"},
    {"item_class_flag", "item_class"},
    {"production_date_flag", "production_dt"},
    {"weight_required", "weight_required"},
    {"auto_zoning", "auto_zoning"},
    {"dual_uom", "dual_uom"},
    {"batch_no_flag", "batch_no"},
    {"dimensions_flag", "dimensions"},
    {"serial_no_flag", "serial_no"},
    {"num_serial", "num_serial"},
    {"supplier_flag", "supplier"},
    {"owner_flag", "owner"},
    {"pick_seq", "pick_seq"},
    {"billing_group", "billing_group"},
    {"billing_uom", "billing_uom"},
    {"storage_group", "storage_group"},
    {"storage_uom", "storage_uom"},
    {"fob_price", "fob_price"},
    {"landed_price", "landed_price"},
    {"ex_work_price", "ex_work_price"},
    {"dealer_price", "dealer_price"},
    {"export_price", "export_price"},
    {"sample_size", "sample_size"},
    {"tolerance", "tolerance"},
    {"default_grade", "default_grade"},
    {"status", "Status"},
    {"remarks", "remarks"},
    {"maker", "maker"},
    {"last_update", "last_update", FormatIsoDate},
    {"image_filename", "image_filename"},
    {"nonstandard_pack", "nonstandard_pack"},
});
static_assert(kProductFields.size() == 49);

// The units of a product (height, depth, width: this order).
constexpr auto kUnitFields = std::to_array<TagField>({
    {"uom", "uom"},
    {"item_height", "item_height"},
    {"item_depth", "item_depth"},
    {"item_width", "item_width"},
    {"item_volume", "item_volume"},
    {"item_weight", "item_weight"},
    {"uom_sequence", "uom_sequence"},
    {"lowest_uom", "lowest_uom"},
    {"luom_equivalent", "luom_equivalent"},
    {"child_uom", "child_uom"},
    {"child_uom_qty", "child_uom_qty"},
});

// The inner unit and the pallet level of a two-level product (height, width, depth).
constexpr auto kTwoLevelFields = std::to_array<TagField>({
    {"sqlstatus", "sqlstatus"},
    {"item_uom", "item_uom"},
    {"item_height", "item_height"},
    {"item_width", "item_width"},
    {"item_depth", "item_depth"},
    {"item_weight", "item_weight"},
    {"pallet_width", "pallet_width"},
    {"pallet_depth", "pallet_depth"},
    {"pallet_qty", "pallet_qty"},
});

constexpr auto kPackingFields = std::to_array<TagField>({
    {"lowest_uom", "lowest_uom"},
    {"luom_equivalent", "luom_equivalent"},
    {"query_pallet_qty", "query_pallet_qty"},
    {"query_luom_qty", "query_luom_qty"},
});

}  // namespace

std::string rf_get_product_info(Call& call) {
  Recordset rs =
      call.OpenRecordset(Sql("rf_get_product_info ").text(call["client"]).text(call.item_no()));
  return FirstRowFields(rs, kProductFields);
}

std::string rf_get_product_description(Call& call) {
  Recordset rs = call.OpenRecordset(
      Sql("rf_get_product_description ").text(call["client"]).text(call.item_no()));
  if (rs.eof()) return "";
  OutputBuffer out;
  out.tag("item_no", rs.field("item_no"));
  WriteFields(out, rs, kProductFields);
  return out.take();
}

std::string rf_get_product_owner(Call& call) {
  Recordset rs =
      call.OpenRecordset(Sql("rf_get_product_owner ").text(call["client"]).text(call.item_no()));
  return FieldPerRowReply(rs, "customer", "customer");
}

std::string rf_get_product_uom(Call& call) {
  Recordset rs = call.OpenRecordset(
      Sql("rf_get_product_uom ").text(call["client"]).text(call.item_no()).text(call["uom"]));
  return FieldRecordsReply(rs, kUnitFields);
}

std::string rf_get_product_uom_2_level(Call& call) {
  Recordset rs = call.OpenRecordset(
      Sql("rf_get_product_uom_2_level ").text(call["client"]).text(call.item_no()));
  return FirstRowFields(rs, kTwoLevelFields);
}

std::string rf_get_packing_qty(Call& call) {
  Recordset rs = call.OpenRecordset(Sql("get_packing_qty ")
                                        .text(call["client"])
                                        .text(call.item_no())
                                        .text(call["uom"])
                                        .number(call["qty"]));
  return FirstRowFields(rs, kPackingFields);
}

std::string rf_update_product_uom_2_level(Call& call) {
  // The name is followed directly by the first argument: a client renders with its own
  // leading blank (" N'C01'").
  return FirstRowReply(call.ExecuteToGrid(Sql("rf_update_product_uom_2_level")
                                              .text(call["client"])
                                              .text(call.item_no())
                                              .text(call["item_uom"])
                                              .number(call["item_height"])
                                              .number(call["item_width"])
                                              .number(call["item_depth"])
                                              .number(call["item_weight"])
                                              .number(call["pallet_width"])
                                              .number(call["pallet_depth"])
                                              .number(call["pallet_qty"])
                                              .text(call["operator"])));
}

std::string rf_update_product_barcode(Call& call) {
  Command command = call.OpenCommand("rf_update_product_barcode");
  command.inputs({call["client"], call["barcode"], call.item_no(), "Created through RF Terminal.",
                  call["operator"]});
  command.Execute();
  return command.status_reply();
}

}  // namespace talwen
