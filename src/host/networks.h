// Client networks: the address blocks a gateway accepts requests from.
//
// A NetworkList holds CIDR blocks of both families. IPv4 blocks are kept as IPv4-mapped IPv6
// blocks (::ffff:a.b.c.d/96+n), so a peer reported in either form matches the same entries.
// A NetworkList is an immutable value once parsed: safe to share between threads.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace talwen::host {

// An IP address of either family, IPv4 held in its IPv4-mapped IPv6 form.
using IpAddress = std::array<uint8_t, 16>;

// For unordered containers keyed by address.
struct IpAddressHash {
  size_t operator()(const IpAddress& a) const noexcept {
    return std::hash<std::string_view>()(
        std::string_view(reinterpret_cast<const char*>(a.data()), a.size()));
  }
};

// Parse "10.1.2.3", "::1" or "::ffff:10.1.2.3"; nullopt when the text is not an address.
std::optional<IpAddress> ParseIpAddress(std::string_view text);

// Return the address as a peer should be shown: IPv4 (also IPv4-mapped IPv6) in dotted form,
// other IPv6 in its canonical text. Text that is not an address is returned unchanged.
std::string NormalizeAddress(std::string_view text);

class NetworkList {
 public:
  // Parse a list of entries separated by commas or blanks. An entry is an address with an
  // optional "/prefix" (a bare address is one host), or "*" for every address. An entry
  // whose address has bits set beyond its prefix is refused, since it is most likely a typo.
  // Returns nullopt and sets *error when an entry is malformed or the list is empty.
  static std::optional<NetworkList> Parse(std::string_view text, std::string* error);

  // Is the address (text as the peer reports it) inside one of the blocks? Text that is not
  // an address is inside none.
  bool contains(std::string_view address) const;
  bool contains(const IpAddress& address) const;

  bool empty() const { return blocks_.empty(); }

  // The entries as parsed, for messages ("127.0.0.0/8 ::1/128").
  const std::string& text() const { return text_; }

 private:
  struct Block {
    IpAddress network{};
    int prefix = 0;  // bits of the IPv6 (or mapped) form, 0..128
  };

  std::vector<Block> blocks_;
  std::string text_;
};

// Loopback only: 127.0.0.0/8 and ::1.
NetworkList LoopbackNetworks();
// Loopback plus the private ranges: 10/8, 172.16/12, 192.168/16 and fc00::/7.
NetworkList PrivateNetworks();

}  // namespace talwen::host
