// Signed sign-on: who the operator of a request is, proven by a cookie the gateway signed
// when the database accepted the operator's password, rather than by what the form says.
//
// The cookie holds the operator, when the sign-on began, when it ends if unused (the idle
// expiry, pushed forward as the operator works) and an identifier, all signed with
// HMAC-SHA-256 under a key from the INI. Any instance that has the key can check it: nothing
// is kept between requests, so instances behind a proxy share sign-ons without sharing
// state. Signing off clears the cookie in the browser and puts its identifier on this
// instance's list of ended sign-ons (until the sign-on could have lasted anyway); another
// instance learns of it only by the idle expiry (docs/security.md weighs this).
//
// Sign-on attempts are counted per client address in windows of a minute, so that one host
// cannot try passwords, or lock operators out, at will.
//
// Thread-safe: the key and times are fixed; the ended sign-ons and the attempt counts are
// each behind a lock of their own, taken only by sign-offs and sign-on attempts (and, while
// any sign-off is remembered, by a look-up per call).
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "host/networks.h"

struct evp_mac_ctx_st;  // OpenSSL's EVP_MAC_CTX

namespace talwen::host {

// The name of the sign-on cookie.
inline constexpr std::string_view kSignOnCookie = "talwen_signon";

struct SignOnSettings {
  bool required = false;                    // every call but the sign-on needs the cookie
  std::string key;                          // the HMAC key (at least 32 bytes when required)
  std::chrono::seconds idle{30 * 60};       // a sign-on unused this long has ended
  std::chrono::seconds longest{12 * 3600};  // and any sign-on this long after it began
  // Sign-on attempts per client address in a minute; 0: no limit. The INI's default is
  // kDefaultAttempts with sign-on required and no limit without it, as before sign-on existed.
  size_t attempts_per_minute = 0;
  static constexpr size_t kDefaultAttempts = 10;
};

// A sign-on the cookie proves.
struct SignOnTicket {
  std::string id;  // 32 hex digits, the same for the whole sign-on
  std::string operator_id;
  int64_t began = 0;    // seconds since the epoch
  int64_t expires = 0;  // the idle expiry
};

class SignOn {
 public:
  explicit SignOn(SignOnSettings settings);

  const SignOnSettings& settings() const { return settings_; }

  // A new sign-on of operator_id at now (seconds since the epoch).
  SignOnTicket begin(std::string_view operator_id, int64_t now) const;
  // The Set-Cookie value that hands ticket to the browser (HttpOnly, SameSite=Strict).
  std::string cookie(const SignOnTicket& ticket, int64_t now) const;
  // The Set-Cookie value that removes the cookie from the browser.
  static std::string removal();

  // The sign-on a Cookie header proves at now: nullopt when it has none, or one that is
  // forged, altered, expired, too old or signed off.
  std::optional<SignOnTicket> check(std::string_view cookie_header, int64_t now) const;
  // Is the idle expiry old enough to be pushed forward? (Not on every call: a minute's
  // slack spares most answers a new cookie.)
  bool stale(const SignOnTicket& ticket, int64_t now) const;
  // Push the idle expiry of ticket forward from now, within its longest life.
  void touch(SignOnTicket& ticket, int64_t now) const;

  // End ticket's sign-on on this instance.
  void end(const SignOnTicket& ticket, int64_t now);

  // Count a sign-on attempt from the client; false when it is over the limit, with the
  // seconds until the next attempt may come.
  bool attempt(const IpAddress& client, int64_t now, int64_t& retry_after);

 private:
  std::string signature(std::string_view payload) const;

  const SignOnSettings settings_;
  // HMAC-SHA-256 keyed with settings_.key, copied for each signature.
  std::unique_ptr<evp_mac_ctx_st, void (*)(evp_mac_ctx_st*)> keyed_;

  mutable std::mutex ended_mutex_;
  std::unordered_map<std::string, int64_t> ended_;  // identifier -> when it would end anyway
  std::atomic<bool> any_ended_{false};

  struct Window {
    int64_t start = 0;
    size_t count = 0;
  };
  std::mutex attempts_mutex_;
  std::unordered_map<IpAddress, Window, IpAddressHash> attempts_;
};

// Seconds since the epoch, now.
int64_t UnixNow();

}  // namespace talwen::host
