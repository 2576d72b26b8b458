// Sign-on and user context: passwords, stations, profile, warehouses, clients, menu rights,
// task priorities and the client last worked with.
#include <stdexcept>

#include "frame/call.h"
#include "frame/reply.h"
#include "frame/shapes.h"
#include "frame/sql_arg.h"
#include "functions/session/session.h"

namespace talwen {
namespace {

constexpr TagField kUserClient[] = {
    {"client", "client"},
    {"client_name", "client_name"},
};

// The operator's clients, one call for both listings: each row with a client passes its
// tags to write; rows without a client are skipped.
template <typename Write>
std::string operator_clients(Call& call, Write write) {
  Recordset rs = call.OpenRecordset(Sql("rf_get_operator_clients ").text(call["operator"]));
  OutputBuffer out;
  for (; !rs.eof(); rs.move_next()) {
    const std::string client = rs.text("client");
    if (!client.empty()) write(out, client, rs);
  }
  return out.take();
}

}  // namespace

std::string rf_check_user_password(Call& call) {
  const ResultGrid grid = call.ExecuteToGrid(
      Sql("exec rf_check_user_password ").text(call["operator"]).text(call["password"]));
  return MakeTag("sqlstatus", GridValueByName(grid, "sqlstatus", 0)) +
         MakeTag("sqlmsg", GridValueByName(grid, "sqlmsg", 0));
}

std::string rf_system_logout(Call& call) {
  Command command = call.OpenCommand("rf_system_logout");
  command.inputs({call["operator"]});
  command.Execute();
  return command.status_reply();
}

std::string rf_verify_user_station(Call& call) {
  Command command = call.OpenCommand("rf_verify_user_station");
  command.inputs({call["warehouse"], call["station"], call["station_type"], call["operator"]});
  command.Execute();
  return MakeTag("sqlstatus", command.output("@sqlstatus"));
}

std::string rf_get_user_profile(Call& call) {
  return RecordsReply(call.ExecuteToGrid(Sql("rf_get_user_profile ").text(call["operator"])));
}

std::string rf_get_user_station(Call& call) {
  return RecordsReply(call.ExecuteToGrid(
      Sql("rf_get_user_station ").text(call["operator"]).text(call["station_type"])));
}

std::string rf_get_user_warehouse(Call& call) {
  return RecordsReply(call.ExecuteToGrid(Sql("get_user_warehouse ").text(call["operator"])));
}

std::string rf_get_user_client(Call& call) {
  const ResultGrid grid = call.ExecuteToGrid(Sql("get_user_client ").text(call["operator"]));
  OutputBuffer out;
  for (int r = 0; r <= grid.last_row(); ++r) {
    out.append("<record>");
    WriteFields(out, grid, r, kUserClient);
    out.append("</record>");
  }
  return out.take();
}

// One element per movement type, named by the movement type and holding its priority.
std::string rf_get_user_tasks_priority(Call& call) {
  const ResultGrid grid = call.ExecuteToGrid(Sql("get_tasks_priorities ").text(call["operator"]));
  const int movement = FindColumnIndex(grid, "MOVEMENT");
  const int priority = FindColumnIndex(grid, "PRIORITY");
  if (movement < 0 || priority < 0) {
    throw std::runtime_error("the task priorities have no MOVEMENT or PRIORITY column");
  }
  OutputBuffer out;
  for (int r = 0; r <= grid.last_row(); ++r) {
    out.tag(grid(movement, r).to_text(), grid(priority, r));
  }
  return out.take();
}

// One element per menu right, named by the menu and holding 1.
std::string rf_get_user_access(Call& call) {
  Recordset rs = call.OpenRecordset(Sql("get_user_access ").text(call["operator"]));
  OutputBuffer out;
  for (; !rs.eof(); rs.move_next()) out.tag(rs.text("menu_name"), "1");
  return out.take();
}

std::string rf_get_last_client_accessed(Call& call) {
  Recordset rs = call.OpenRecordset(Sql("rf_get_last_client_accessed ").text(call["operator"]));
  if (rs.eof()) return StatusReply("-1", "No client found.");
  return StatusReply("0", "Client found.") + MakeTag("client", rs.field("client"));
}

std::string rf_update_last_client_accessed(Call& call) {
  Command command = call.OpenCommand("rf_update_last_client_accessed");
  command.inputs({call["client"], call["operator"]});
  command.Execute();
  return command.status_reply();
}

std::string rf_get_operator_clients(Call& call) {
  return operator_clients(call, [](OutputBuffer& out, const std::string& client, const Recordset&) {
    out.tag("client", client);
  });
}

// The record element holds tagged text: <record><client>..</client><client_name>..
std::string rf_get_operator_clients2(Call& call) {
  return operator_clients(call, [](OutputBuffer& out, const std::string& client,
                                   const Recordset& rs) {
    out.tag("record", MakeTag("client", client) + MakeTag("client_name", rs.field("client_name")));
  });
}

}  // namespace talwen
