#include "host/networks.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstring>

namespace talwen::host {
namespace {

// The first 12 bytes of an IPv4-mapped IPv6 address.
constexpr std::array<uint8_t, 12> kMappedPrefix = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};

bool is_mapped(const IpAddress& a) {
  return std::memcmp(a.data(), kMappedPrefix.data(), kMappedPrefix.size()) == 0;
}

// Do the first `bits` bits of a and b agree?
bool same_prefix(const IpAddress& a, const IpAddress& b, int bits) {
  const int bytes = bits / 8;
  if (std::memcmp(a.data(), b.data(), static_cast<size_t>(bytes)) != 0) return false;
  const int rest = bits % 8;
  if (rest == 0) return true;
  const auto mask = static_cast<uint8_t>(0xff << (8 - rest));
  return (a[bytes] & mask) == (b[bytes] & mask);
}

// Does a have any bit set after its first `bits` bits?
bool has_host_bits(const IpAddress& a, int bits) {
  for (int bit = bits; bit < 128; ++bit) {
    if (a[bit / 8] & (0x80 >> (bit % 8))) return true;
  }
  return false;
}

bool is_separator(char c) {
  return c == ',' || c == ' ' || c == '\t';
}

}  // namespace

std::optional<IpAddress> ParseIpAddress(std::string_view text) {
  // inet_pton wants a terminated string; an address is never longer than this.
  char buffer[INET6_ADDRSTRLEN + 1] = {};
  if (text.empty() || text.size() >= sizeof(buffer)) return std::nullopt;
  std::memcpy(buffer, text.data(), text.size());

  IpAddress address{};
  in_addr v4{};
  if (::inet_pton(AF_INET, buffer, &v4) == 1) {
    std::memcpy(address.data(), kMappedPrefix.data(), kMappedPrefix.size());
    std::memcpy(address.data() + 12, &v4, 4);
    return address;
  }
  in6_addr v6{};
  if (::inet_pton(AF_INET6, buffer, &v6) == 1) {
    std::memcpy(address.data(), &v6, 16);
    return address;
  }
  return std::nullopt;
}

std::string NormalizeAddress(std::string_view text) {
  const auto address = ParseIpAddress(text);
  if (!address) return std::string(text);
  char buffer[INET6_ADDRSTRLEN] = {};
  if (is_mapped(*address)) {
    ::inet_ntop(AF_INET, address->data() + 12, buffer, sizeof(buffer));
  } else {
    ::inet_ntop(AF_INET6, address->data(), buffer, sizeof(buffer));
  }
  return buffer;
}

std::optional<NetworkList> NetworkList::Parse(std::string_view text, std::string* error) {
  NetworkList list;
  auto fail = [&](std::string message) -> std::optional<NetworkList> {
    if (error) *error = std::move(message);
    return std::nullopt;
  };

  size_t i = 0;
  while (i < text.size()) {
    if (is_separator(text[i])) {
      ++i;
      continue;
    }
    size_t end = i;
    while (end < text.size() && !is_separator(text[end])) ++end;
    const std::string_view entry = text.substr(i, end - i);
    i = end;

    if (entry == "*") {
      list.blocks_.push_back({IpAddress{}, 0});
    } else {
      const size_t slash = entry.find('/');
      const std::string_view address_text = entry.substr(0, slash);
      const auto address = ParseIpAddress(address_text);
      if (!address) return fail("'" + std::string(entry) + "' is not an address or network");
      const bool v4 = address_text.find(':') == std::string_view::npos;
      const int width = v4 ? 32 : 128;
      int prefix = width;
      if (slash != std::string_view::npos) {
        const std::string_view digits = entry.substr(slash + 1);
        const auto [end_ptr, ec] =
            std::from_chars(digits.data(), digits.data() + digits.size(), prefix);
        if (digits.empty() || ec != std::errc() || end_ptr != digits.data() + digits.size() ||
            prefix < 0 || prefix > width) {
          return fail("'" + std::string(entry) + "' has no valid prefix length (0 to " +
                      std::to_string(width) + ")");
        }
      }
      const int bits = v4 ? prefix + 96 : prefix;
      if (has_host_bits(*address, bits)) {
        return fail("'" + std::string(entry) + "' has address bits set beyond its prefix");
      }
      list.blocks_.push_back({*address, bits});
    }
    if (!list.text_.empty()) list.text_ += ' ';
    list.text_ += entry;
  }
  if (list.blocks_.empty()) return fail("the list names no network");
  return list;
}

bool NetworkList::contains(std::string_view address) const {
  const auto parsed = ParseIpAddress(address);
  return parsed && contains(*parsed);
}

bool NetworkList::contains(const IpAddress& address) const {
  for (const Block& block : blocks_) {
    if (same_prefix(address, block.network, block.prefix)) return true;
  }
  return false;
}

NetworkList LoopbackNetworks() {
  return *NetworkList::Parse("127.0.0.0/8 ::1", nullptr);
}

NetworkList PrivateNetworks() {
  return *NetworkList::Parse("127.0.0.0/8 ::1 10.0.0.0/8 172.16.0.0/12 192.168.0.0/16 fc00::/7",
                             nullptr);
}

}  // namespace talwen::host
