// The gateway's reading of a request: URL-encoded fields of the query string and the form, the
// Host header, header names, the session cookie and the fields of the access log.
//
// Input: fields separated by 0x1E: URL-encoded text, Host header, header name, Cookie header,
// Content-Type value; the whole input is also a log field.
#include <string>

#include "fuzz/fuzz_input.h"
#include "host/http_fields.h"

namespace talwen::fuzz {
namespace {

TALWEN_CHECK_ONLY bool unreserved(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

// The form encoding of any bytes: every byte but the unreserved ones as %XX.
TALWEN_CHECK_ONLY std::string Encoded(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    if (unreserved(c)) {
      out += c;
    } else {
      out += '%';
      out += kHex[static_cast<unsigned char>(c) >> 4];
      out += kHex[static_cast<unsigned char>(c) & 15];
    }
  }
  return out;
}

TALWEN_CHECK_ONLY int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

TALWEN_CHECK_ONLY void CheckFields(std::string_view text) {
  const std::vector<host::Field> fields = host::ParseUrlEncoded(text);
  size_t separators = 0;
  for (const char c : text) separators += c == '&';
  Check(fields.size() <= separators + 1, "more fields than '&' allow");

  // Encoding the fields again and reading them back gives the same fields.
  std::string again;
  for (const auto& [name, value] : fields) {
    Check(!name.empty(), "a field with an empty name");
    if (!again.empty()) again += '&';
    again += Encoded(name) + "=" + Encoded(value);
  }
  const std::vector<host::Field> reread = host::ParseUrlEncoded(again);
  Check(reread == fields, "fields re-encoded read back differently", again, text);
  Check(host::DecodeUrlComponent(Encoded(text)) == text, "a component's encoding does not decode",
        host::DecodeUrlComponent(Encoded(text)), text);
}

TALWEN_CHECK_ONLY void CheckHost(std::string_view header) {
  const auto name = host::ServerNameOfHost(header);
  if (!name) return;
  Check(header.starts_with(*name) && !name->empty(), "the server name is not the host's start",
        *name, header);
  // The name goes into pages and addresses: a plain name or a bracketed address, nothing else.
  if (name->front() == '[') {
    Check(name->size() >= 3 && name->back() == ']', "a bracketed address not closed", *name);
    for (const char c : name->substr(1, name->size() - 2)) {
      Check(HexValue(static_cast<char>(c >= 'a' ? c - 32 : c)) >= 0 || c == ':' || c == '.',
            "an address character outside hex digits, ':' and '.'", *name);
    }
  } else {
    for (const char c : *name) {
      Check(unreserved(c), "a server name character outside the allowed set", *name);
    }
  }
}

TALWEN_CHECK_ONLY void CheckHeaderName(std::string_view header) {
  const std::string variable = host::HeaderVariableName(header);
  if (variable.empty()) return;
  Check(variable.starts_with("HTTP_") && variable.size() == header.size() + 5,
        "a header variable not named after its header", variable, header);
  for (const char c : variable) {
    Check(!(c >= 'a' && c <= 'z') && static_cast<unsigned char>(c) > 0x20 &&
              static_cast<unsigned char>(c) < 0x7f,
          "a header variable with a lower-case, blank or control character", variable);
  }
  Check(variable.find('_', 5) == std::string::npos || header.find('-') != std::string_view::npos,
        "an underscore that did not come from a hyphen", variable, header);
}

TALWEN_CHECK_ONLY void CheckCookie(std::string_view cookie) {
  const std::string id = host::SessionIdOfCookie(cookie);
  if (id.empty()) return;
  Check(id.size() == 32, "a session identifier not 32 characters long", id);
  for (const char c : id) {
    Check((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'), "a session identifier not in hex", id);
  }
  Check(cookie.find(id) != std::string_view::npos, "a session identifier not in the cookie", id);
}

// A log field is one printable word that decodes to the text it stands for.
TALWEN_CHECK_ONLY void CheckLogField(std::string_view text) {
  const std::string field = host::LogField(text);
  if (text.empty()) return Check(field == "-", "the empty text is not logged as -", field);
  std::string decoded;
  for (size_t i = 0; i < field.size(); ++i) {
    const auto b = static_cast<unsigned char>(field[i]);
    Check(b > 0x20 && b < 0x7f, "a log field with a blank or control byte", field);
    if (field[i] == '%') {
      Check(i + 2 < field.size() && HexValue(field[i + 1]) >= 0 && HexValue(field[i + 2]) >= 0,
            "a % in a log field without two hex digits", field);
      decoded += static_cast<char>(HexValue(field[i + 1]) * 16 + HexValue(field[i + 2]));
      i += 2;
    } else {
      decoded += field[i];
    }
  }
  Check(decoded == text, "a log field does not decode to its text", decoded, text);
}

}  // namespace
}  // namespace talwen::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace talwen::fuzz;
  const std::string_view input = AsText(data, size);
  const auto fields = Fields(input, 5);
  CheckFields(fields[0]);
  CheckHost(fields[1]);
  CheckHeaderName(fields[2]);
  CheckCookie(fields[3]);
  const std::string media = talwen::host::MediaType(fields[4]);
  for (const char c : media)
    Check(!(c >= 'A' && c <= 'Z'), "a media type not in lower case", media);
  CheckLogField(input);
  return 0;
}
