// Trace log: an optional text trace of the calls, one entry on entering and one on leaving
// each handler, written to the date-stamped file named in the configuration.
//
// An entry is "yyyy-mm-dd hh:mm:ss - text" ended by CR LF (the text may itself span lines).
// Each entry is appended with a single write, so concurrent requests interleave whole entries
// only. Logging never fails a call: a file that cannot be opened loses the entry silently.
#pragma once

#include <string_view>

namespace talwen {

class Call;

// "remote entering FUNCTION"; in modes "DETAIL" and "DETAILED" followed by one line per
// session value ("i > key : value"), the value of a key "PASSWORD" (any case) masked.
void LogEnter(const Call& call);
// "remote exiting FUNCTION" CR LF; in mode "DETAILED" followed by a non-empty reply and CR LF.
void LogExit(const Call& call, std::string_view reply);
// In modes "DETAIL" and "DETAILED": "remote failed FUNCTION: reason" CR LF and the failure's
// full description (call.failure).
void LogFailure(const Call& call);
// Append one entry to path, or to the call's trace file when path is "". With tracing off and
// no path, nothing is written.
void WriteLogLine(const Call& call, std::string_view text, std::string_view path = "");

}  // namespace talwen
