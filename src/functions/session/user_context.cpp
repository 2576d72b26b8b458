// Sign-on and user context: passwords, stations, profile, clients, menu rights.
#include "frame/call.h"
#include "frame/reply.h"
#include "frame/sql_arg.h"
#include "functions/session/session.h"

namespace talwen {

std::string rf_system_logout(Call& call) {
  Command command = call.OpenCommand("rf_system_logout");
  command.inputs({call["operator"]});
  command.Execute();
  return command.status_reply();
}

std::string rf_get_last_client_accessed(Call& call) {
  Recordset rs = call.OpenRecordset(Sql("rf_get_last_client_accessed ").text(call["operator"]));
  if (rs.eof()) return StatusReply("-1", "No client found.");
  return StatusReply("0", "Client found.") + MakeTag("client", rs.field("client"));
}

}  // namespace talwen
