// The location and pallet enquiries: what a location or a pallet holds, which locations and
// pallets match a typed beginning, where a product is stored and which stock records and
// serial numbers hold it. They only read.
//
// Each handler reads its session keys, runs one statement and shapes the reply; the listings
// of matching locations and pallets stop at the reply limit ("limit" not blank) with a
// "<Too many records>" record under "location" or "pallet".
#pragma once

#include <string>

namespace talwen {

class Call;

// What a location holds, which locations match, where a product is stored.
std::string rf_get_location_items(Call& call);
std::string rf_get_location_cartons(Call& call);
std::string rf_get_location_serial_nos(Call& call);
std::string rf_get_matching_location(Call& call);
std::string rf_get_matching_location_pallet(Call& call);
std::string rf_get_warehouse_location_pallet(Call& call);
std::string rf_get_item_locations(Call& call);
std::string rf_get_item_locations2(Call& call);
std::string rf_get_item_locations_grade(Call& call);
std::string rf_get_item_recnums(Call& call);

// Pallets: contents, place, serial numbers, matching labels.
std::string rf_get_pallet_items(Call& call);
std::string rf_get_pallet_items2(Call& call);
std::string rf_get_pallet_items3(Call& call);
std::string rf_get_pallet_carton_items3(Call& call);
std::string rf_get_pallet_location(Call& call);
std::string rf_get_pallet_serial_nos(Call& call);
std::string rf_get_matching_pallet(Call& call);
std::string rf_get_matching_pallet2(Call& call);

}  // namespace talwen
