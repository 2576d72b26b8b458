// The handlers of product and serial-number enquiries: a product's master data, owners, units
// and packing quantities, products found by barcode or by a partial key, new barcodes and
// two-level unit dimensions; serial numbers traced, listed by product, warranty and pallet,
// warranty numbers recorded and serial numbers deleted.
//
// The product handlers read the product with the fallback ("item_no", else "item"); the
// serial-number handlers read "item_no" alone.
#pragma once

#include <string>

namespace talwen {

class Call;

// Product master data, units and packing.
std::string rf_get_product_info(Call& call);
std::string rf_get_product_description(Call& call);
std::string rf_get_product_owner(Call& call);
std::string rf_get_product_uom(Call& call);
std::string rf_get_product_uom_2_level(Call& call);
std::string rf_get_packing_qty(Call& call);
std::string rf_update_product_uom_2_level(Call& call);
std::string rf_update_product_barcode(Call& call);

// Product searches.
std::string rf_get_matching_product(Call& call);
std::string rf_get_matching_product2(Call& call);
std::string rf_get_barcode_item_no(Call& call);

// Serial numbers and warranties.
std::string rf_get_serial_no(Call& call);
std::string rf_get_serial_warranty_nos(Call& call);
std::string rf_get_serial_products(Call& call);
std::string rf_get_available_serial_nos(Call& call);
std::string rf_update_serial_warranty(Call& call);
std::string rf_delete_serial_no(Call& call);

}  // namespace talwen
