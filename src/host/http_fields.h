// The pieces of an HTTP request the gateway reads by hand: URL-encoded fields, the Host
// header, header names as server variables, the session cookie. Pure functions of text.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace talwen::host {

using Field = std::pair<std::string, std::string>;

// Split application/x-www-form-urlencoded text (a query string or a form body) into its
// fields, in order. Fields are separated by "&"; a field without "=" has the empty value;
// empty fields and fields with an empty name are skipped. Names and values are decoded: "+"
// is a blank, "%XX" the byte XX; a "%" not followed by two hex digits stays as it is. Bytes
// are kept as they come (UTF-8 passes through untouched).
std::vector<Field> ParseUrlEncoded(std::string_view text);

// Decode one URL-encoded component as ParseUrlEncoded does.
std::string DecodeUrlComponent(std::string_view text);

// The server name of a Host header: the host without its port ("rf.example:8080" gives
// "rf.example", "[fe80::1]:80" gives "[fe80::1]"). nullopt when the header is not a plausible
// host: only letters, digits, "-", ".", "_" and "~" in a name, a bracketed IPv6 literal, and
// a port of digits.
std::optional<std::string> ServerNameOfHost(std::string_view host);

// The server variable for a request header: "User-Agent" gives "HTTP_USER_AGENT". Returns ""
// for a name that contains "_" (it could pose as another header's variable) or characters
// outside the HTTP token set.
std::string HeaderVariableName(std::string_view header);

// The media type of a Content-Type value, lower case, without parameters:
// "Application/X-WWW-Form-Urlencoded; charset=UTF-8" gives "application/x-www-form-urlencoded".
std::string MediaType(std::string_view content_type);

// The name of the gateway's session cookie.
inline constexpr std::string_view kSessionCookie = "talwen_session";

// The value of the first cookie so named in a Cookie header, blanks trimmed; nullopt when
// there is none.
std::optional<std::string_view> CookieValue(std::string_view cookie_header, std::string_view name);

// The session identifier in a Cookie header, or "" when there is none or it is not one the
// gateway could have issued (32 lower-case hex digits).
std::string SessionIdOfCookie(std::string_view cookie_header);

// A new session identifier: 32 lower-case hex digits from the system's random source.
std::string NewSessionId();

// Text made safe for one field of a log line: bytes outside printable ASCII, blanks and "%"
// become %XX; "" becomes "-".
std::string LogField(std::string_view text);
void AppendLogField(std::string& out, std::string_view text);

// A request path with its %XX escapes decoded ("+" stays as it is).
std::string DecodePath(std::string_view path);

}  // namespace talwen::host
