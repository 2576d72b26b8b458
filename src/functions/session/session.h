// The handlers of the session, user and reference-data RF functions.
//
//   diagnostics.cpp      rf_about, rf_about2, rf_about3: the program, the request and the
//                        configuration as the engine sees them; no database call
//   user_context.cpp     sign-on and sign-off, station checks, the operator's profile,
//                        warehouses, clients, menu rights and task priorities
//   reference_lists.cpp  configuration values, facility types, parameter lists, units,
//                        clients, customers, suppliers, carriers and the print queue
//
// Each handler reads its session values, makes one call and shapes its reply; a failure
// (missing column or field, database error in the recordset or procedure forms) throws and
// the frame answers with the empty reply.
#pragma once

#include <string>
#include <string_view>

namespace talwen {

class Call;

// Diagnostics pages.
std::string rf_about(Call& call);
std::string rf_about2(Call& call);
std::string rf_about3(Call& call);

// Sign-on and user context.
std::string rf_check_user_password(Call& call);
std::string rf_system_logout(Call& call);
std::string rf_verify_user_station(Call& call);
std::string rf_get_user_profile(Call& call);
std::string rf_get_user_station(Call& call);
std::string rf_get_user_warehouse(Call& call);
std::string rf_get_user_client(Call& call);
std::string rf_get_user_tasks_priority(Call& call);
std::string rf_get_user_access(Call& call);
std::string rf_get_last_client_accessed(Call& call);
std::string rf_update_last_client_accessed(Call& call);
std::string rf_get_operator_clients(Call& call);
std::string rf_get_operator_clients2(Call& call);

// Reference lists and configuration.
std::string rf_get_system_config(Call& call);
std::string rf_get_system_config2(Call& call);
std::string rf_get_system_config_rf(Call& call);
std::string rf_get_facility_type(Call& call);
std::string rf_get_reason_codes(Call& call);
std::string rf_get_item_grades(Call& call);
std::string rf_get_uom_list(Call& call);
std::string rf_get_client(Call& call);
std::string rf_get_client_customers(Call& call);
std::string rf_get_client_customers2(Call& call);
std::string rf_get_supplier(Call& call);
std::string rf_get_carrier(Call& call);
std::string rf_print_queue(Call& call);

// The connection string with the value of every password keyword ("Password", "PWD", any
// letter case, also "... Password" forms) replaced by as many "*" as it has characters.
std::string MaskPasswords(std::string_view connection_string);

}  // namespace talwen
