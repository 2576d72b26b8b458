#include "host/sign_on.h"

#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/params.h>

#include <algorithm>
#include <charconv>
#include <memory>
#include <stdexcept>
#include <vector>

#include "host/http_fields.h"

namespace talwen::host {
namespace {

constexpr char kHex[] = "0123456789abcdef";
// Signed in front of every cookie's fields, so that another use of the key, or another
// layout of the cookie, never yields a signature this one accepts.
constexpr std::string_view kPurpose = "talwen sign-on 1\n";
// An idle expiry is pushed forward once less than this is gone from it.
constexpr int64_t kSlack = 60;
// Ended sign-ons and attempt counts are swept of what is over once there are this many.
constexpr size_t kSweepAt = 4096;

void append_hex(std::string& out, std::string_view bytes) {
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    out += kHex[b >> 4];
    out += kHex[b & 15];
  }
}

std::optional<std::string> from_hex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::string out;
  out.reserve(text.size() / 2);
  for (size_t i = 0; i < text.size(); i += 2) {
    unsigned char byte = 0;
    const auto [end, ec] = std::from_chars(text.data() + i, text.data() + i + 2, byte, 16);
    if (ec != std::errc() || end != text.data() + i + 2) return std::nullopt;
    out += static_cast<char>(byte);
  }
  return out;
}

std::optional<int64_t> number(std::string_view text) {
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < 0) return std::nullopt;
  return value;
}

// The fields of a cookie value, separated by ".".
std::vector<std::string_view> fields_of(std::string_view value) {
  std::vector<std::string_view> fields;
  for (size_t dot = value.find('.'); fields.size() < 5; dot = value.find('.')) {
    fields.push_back(value.substr(0, dot));
    if (dot == std::string_view::npos) return fields;
    value.remove_prefix(dot + 1);
  }
  fields.push_back(value);  // a sixth: too many
  return fields;
}

}  // namespace

int64_t UnixNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

SignOn::SignOn(SignOnSettings settings)
    : settings_(std::move(settings)), keyed_(nullptr, EVP_MAC_CTX_free) {
  EVP_MAC* hmac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  if (hmac) keyed_.reset(EVP_MAC_CTX_new(hmac));
  EVP_MAC_free(hmac);  // the context keeps what it needs
  char digest[] = "SHA256";
  const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string("digest", digest, 0),
                               OSSL_PARAM_construct_end()};
  // An empty key is a key too (sign-on not required): the context is always ready.
  static const unsigned char kNoKey = 0;
  const auto* key = settings_.key.empty()
                        ? &kNoKey
                        : reinterpret_cast<const unsigned char*>(settings_.key.data());
  if (!keyed_ || !EVP_MAC_init(keyed_.get(), key, settings_.key.size(), params)) {
    throw std::runtime_error("OpenSSL has no HMAC-SHA-256 for the sign-on");
  }
}

std::string SignOn::signature(std::string_view payload) const {
  // A copy of the keyed context: the key and the digest are set up once, not per call.
  std::unique_ptr<EVP_MAC_CTX, decltype(&EVP_MAC_CTX_free)> ctx(EVP_MAC_CTX_dup(keyed_.get()),
                                                                EVP_MAC_CTX_free);
  unsigned char mac[EVP_MAX_MD_SIZE];
  size_t length = 0;
  if (!ctx ||
      !EVP_MAC_update(ctx.get(), reinterpret_cast<const unsigned char*>(kPurpose.data()),
                      kPurpose.size()) ||
      !EVP_MAC_update(ctx.get(), reinterpret_cast<const unsigned char*>(payload.data()),
                      payload.size()) ||
      !EVP_MAC_final(ctx.get(), mac, &length, sizeof(mac))) {
    throw std::runtime_error("the sign-on signature could not be made");
  }
  std::string out;
  append_hex(out, std::string_view(reinterpret_cast<const char*>(mac), length));
  return out;
}

SignOnTicket SignOn::begin(std::string_view operator_id, int64_t now) const {
  SignOnTicket ticket{NewSessionId(), std::string(operator_id), now, 0};
  touch(ticket, now);
  return ticket;
}

std::string SignOn::cookie(const SignOnTicket& ticket, int64_t now) const {
  std::string value =
      ticket.id + "." + std::to_string(ticket.began) + "." + std::to_string(ticket.expires) + ".";
  append_hex(value, ticket.operator_id);
  value += "." + signature(value);
  return std::string(kSignOnCookie) + "=" + value +
         "; Path=/; Max-Age=" + std::to_string(std::max<int64_t>(0, ticket.expires - now)) +
         "; HttpOnly; SameSite=Strict";
}

std::string SignOn::removal() {
  return std::string(kSignOnCookie) + "=; Path=/; Max-Age=0; HttpOnly; SameSite=Strict";
}

std::optional<SignOnTicket> SignOn::check(std::string_view cookie_header, int64_t now) const {
  const std::optional<std::string_view> value = CookieValue(cookie_header, kSignOnCookie);
  if (!value) return std::nullopt;
  const std::vector<std::string_view> fields = fields_of(*value);
  if (fields.size() != 5 || fields[0].size() != 32 || fields[4].size() != 64) return std::nullopt;
  const std::string_view payload = value->substr(0, value->size() - 65);
  const std::string expected = signature(payload);
  if (CRYPTO_memcmp(expected.data(), fields[4].data(), expected.size()) != 0) return std::nullopt;
  // Signed by this key: the fields are as the gateway wrote them.
  const auto began = number(fields[1]), expires = number(fields[2]);
  auto operator_id = from_hex(fields[3]);
  if (!began || !expires || !operator_id || operator_id->empty()) return std::nullopt;
  if (now >= *expires || now >= *began + settings_.longest.count() || now < *began - kSlack) {
    return std::nullopt;
  }
  SignOnTicket ticket{std::string(fields[0]), std::move(*operator_id), *began, *expires};
  if (any_ended_.load(std::memory_order_relaxed)) {
    std::lock_guard<std::mutex> lock(ended_mutex_);
    if (ended_.contains(ticket.id)) return std::nullopt;
  }
  return ticket;
}

bool SignOn::stale(const SignOnTicket& ticket, int64_t now) const {
  return ticket.expires - now < settings_.idle.count() - kSlack;
}

void SignOn::touch(SignOnTicket& ticket, int64_t now) const {
  ticket.expires = std::min(now + settings_.idle.count(), ticket.began + settings_.longest.count());
}

void SignOn::end(const SignOnTicket& ticket, int64_t now) {
  std::lock_guard<std::mutex> lock(ended_mutex_);
  if (ended_.size() >= kSweepAt) {
    std::erase_if(ended_, [now](const auto& entry) { return entry.second <= now; });
  }
  ended_[ticket.id] = ticket.began + settings_.longest.count();
  any_ended_ = true;
}

bool SignOn::attempt(const IpAddress& client, int64_t now, int64_t& retry_after) {
  if (settings_.attempts_per_minute == 0) return true;
  std::lock_guard<std::mutex> lock(attempts_mutex_);
  if (attempts_.size() >= kSweepAt) {
    std::erase_if(attempts_, [now](const auto& entry) { return entry.second.start + 60 <= now; });
  }
  Window& window = attempts_[client];
  if (window.start + 60 <= now) window = {now, 0};
  if (window.count >= settings_.attempts_per_minute) {
    retry_after = window.start + 60 - now;
    return false;
  }
  ++window.count;
  return true;
}

}  // namespace talwen::host
