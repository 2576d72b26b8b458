#include "host/http_fields.h"

#include <sys/random.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <stdexcept>

#include "base/text.h"

namespace talwen::host {
namespace {

constexpr char kHex[] = "0123456789abcdef";

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool is_alnum(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The characters of an HTTP token (header names).
bool is_token_char(char c) {
  if (is_alnum(c)) return true;
  for (char t : std::string_view("!#$%&'*+-.^_`|~")) {
    if (c == t) return true;
  }
  return false;
}

bool all_digits(std::string_view s) {
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

std::string DecodeUrlComponent(std::string_view text) {
  if (std::none_of(text.begin(), text.end(), [](char c) { return c == '+' || c == '%'; })) {
    return std::string(text);
  }
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%' && i + 2 < text.size() && hex_value(text[i + 1]) >= 0 &&
               hex_value(text[i + 2]) >= 0) {
      out += static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2]));
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

std::vector<Field> ParseUrlEncoded(std::string_view text) {
  std::vector<Field> fields;
  while (!text.empty()) {
    const size_t amp = text.find('&');
    const std::string_view field = text.substr(0, amp);
    text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
    if (field.empty()) continue;
    const size_t eq = field.find('=');
    std::string name = DecodeUrlComponent(field.substr(0, eq));
    if (name.empty()) continue;
    std::string value =
        eq == std::string_view::npos ? std::string() : DecodeUrlComponent(field.substr(eq + 1));
    fields.emplace_back(std::move(name), std::move(value));
  }
  return fields;
}

std::optional<std::string> ServerNameOfHost(std::string_view host) {
  std::string_view name;
  std::string_view rest;
  if (!host.empty() && host.front() == '[') {
    const size_t close = host.find(']');
    if (close == std::string_view::npos || close < 2) return std::nullopt;
    for (char c : host.substr(1, close - 1)) {
      if (hex_value(c) < 0 && c != ':' && c != '.') return std::nullopt;
    }
    name = host.substr(0, close + 1);
    rest = host.substr(close + 1);
  } else {
    const size_t colon = host.find(':');
    name = host.substr(0, colon);
    rest = colon == std::string_view::npos ? std::string_view() : host.substr(colon);
    if (name.empty()) return std::nullopt;
    for (char c : name) {
      if (!is_alnum(c) && c != '-' && c != '.' && c != '_' && c != '~') return std::nullopt;
    }
  }
  if (!rest.empty()) {
    if (rest.front() != ':' || !all_digits(rest.substr(1))) return std::nullopt;
  }
  return std::string(name);
}

std::string HeaderVariableName(std::string_view header) {
  if (header.empty()) return {};
  std::string name;
  name.reserve(5 + header.size());
  name += "HTTP_";
  for (char c : header) {
    if (c == '_' || !is_token_char(c)) return {};
    name += c == '-' ? '_' : ascii_upper(c);
  }
  return name;
}

std::string MediaType(std::string_view content_type) {
  return to_lower(trim(content_type.substr(0, content_type.find(';'))));
}

std::optional<std::string_view> CookieValue(std::string_view cookie_header, std::string_view name) {
  while (!cookie_header.empty()) {
    const size_t semi = cookie_header.find(';');
    const std::string_view pair = trim(cookie_header.substr(0, semi));
    cookie_header =
        semi == std::string_view::npos ? std::string_view() : cookie_header.substr(semi + 1);
    const size_t eq = pair.find('=');
    if (eq != std::string_view::npos && trim(pair.substr(0, eq)) == name) {
      return trim(pair.substr(eq + 1));
    }
  }
  return std::nullopt;
}

std::string SessionIdOfCookie(std::string_view cookie_header) {
  const std::optional<std::string_view> value = CookieValue(cookie_header, kSessionCookie);
  if (!value || value->size() != 32) return {};
  for (char c : *value) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return {};
  }
  return std::string(*value);
}

std::string NewSessionId() {
  // Random bytes are taken from the system a block at a time, not per identifier.
  thread_local std::array<uint8_t, 4096> pool{};
  thread_local size_t used = pool.size();
  constexpr size_t kBytes = 16;
  if (used + kBytes > pool.size()) {
    size_t filled = 0;
    while (filled < pool.size()) {
      const ssize_t n = ::getrandom(pool.data() + filled, pool.size() - filled, 0);
      if (n < 0) {
        if (errno == EINTR) continue;
        throw std::runtime_error("no random source for session identifiers");
      }
      filled += static_cast<size_t>(n);
    }
    used = 0;
  }
  std::string id;
  id.reserve(2 * kBytes);
  for (size_t i = 0; i < kBytes; ++i) {
    const uint8_t b = pool[used + i];
    id += kHex[b >> 4];
    id += kHex[b & 15];
  }
  // Each identifier's bytes are used once.
  std::fill_n(pool.begin() + static_cast<std::ptrdiff_t>(used), kBytes, uint8_t{0});
  used += kBytes;
  return id;
}

void AppendLogField(std::string& out, std::string_view text) {
  if (text.empty()) {
    out += '-';
    return;
  }
  const auto plain = [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b > 0x20 && b < 0x7f && c != '%';
  };
  if (std::all_of(text.begin(), text.end(), plain)) {
    out += text;
    return;
  }
  for (char c : text) {
    if (!plain(c)) {
      const auto b = static_cast<unsigned char>(c);
      out += '%';
      out += static_cast<char>(ascii_upper(kHex[b >> 4]));
      out += static_cast<char>(ascii_upper(kHex[b & 15]));
    } else {
      out += c;
    }
  }
}

std::string LogField(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendLogField(out, text);
  return out;
}

std::string DecodePath(std::string_view path) {
  if (path.find('%') == std::string_view::npos) return std::string(path);
  std::string out;
  out.reserve(path.size());
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '%' && i + 2 < path.size() && hex_value(path[i + 1]) >= 0 &&
        hex_value(path[i + 2]) >= 0) {
      out += static_cast<char>(hex_value(path[i + 1]) * 16 + hex_value(path[i + 2]));
      i += 2;
    } else {
      out += path[i];
    }
  }
  return out;
}

}  // namespace talwen::host
