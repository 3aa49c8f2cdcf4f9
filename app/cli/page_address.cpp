#include "app/cli/page_address.h"

#include "app/cli/printable_text.h"

namespace qv {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool IsAsciiAlnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

bool IsHostName(std::string_view host) {
  if (host.empty() || host.size() > 253) return false;
  size_t label = 0;
  for (const char c : host) {
    if (c == '.') {
      if (label == 0) return false;
      label = 0;
    } else if (IsAsciiAlnum(c) || c == '-') {
      ++label;
    } else {
      return false;
    }
  }
  return true;  // a trailing dot (fully qualified name) is allowed
}

bool IsIpv6Literal(std::string_view host) {
  if (host.size() < 4 || host.front() != '[' || host.back() != ']') return false;
  int colons = 0;
  for (const char c : host.substr(1, host.size() - 2)) {
    if (c == ':') {
      ++colons;
    } else if (!IsHexDigit(c) && c != '.') {
      return false;
    }
  }
  return colons >= 2;
}

AddressProblem CheckAuthority(std::string_view authority) {
  if (authority.empty()) return AddressProblem::kNoHost;
  if (authority.find('@') != std::string_view::npos) return AddressProblem::kBadHost;
  std::string_view host = authority;
  std::string_view port;
  bool hasPort = false;
  if (authority.front() == '[') {
    const size_t close = authority.find(']');
    if (close == std::string_view::npos) return AddressProblem::kBadHost;
    host = authority.substr(0, close + 1);
    const std::string_view rest = authority.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return AddressProblem::kBadHost;
      hasPort = true;
      port = rest.substr(1);
    }
    if (!IsIpv6Literal(host)) return AddressProblem::kBadHost;
  } else {
    const size_t colon = authority.find(':');
    if (colon != std::string_view::npos) {
      host = authority.substr(0, colon);
      port = authority.substr(colon + 1);
      hasPort = true;
    }
    if (host.empty()) return AddressProblem::kNoHost;
    if (!IsHostName(host)) return AddressProblem::kBadHost;
  }
  if (hasPort) {
    if (port.empty() || port.size() > 5) return AddressProblem::kBadPort;
    unsigned value = 0;
    for (const char c : port) {
      if (c < '0' || c > '9') return AddressProblem::kBadPort;
      value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value < 1 || value > 65535) return AddressProblem::kBadPort;
  }
  return AddressProblem::kNone;
}

}  // namespace

std::string_view TrimAddress(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

AddressProblem CheckPageAddress(std::string_view text) {
  const std::string_view address = TrimAddress(text);
  if (address.empty()) return AddressProblem::kEmpty;
  for (size_t i = 0; i < address.size();) {
    const unsigned char c = static_cast<unsigned char>(address[i]);
    if (c <= 0x20 || c == 0x7F) return AddressProblem::kBadCharacter;
    const size_t n = Utf8SequenceLength(address, i);
    if (n == 0) return AddressProblem::kBadCharacter;
    // The C1 controls U+0080..U+009F.
    if (c == 0xC2 && static_cast<unsigned char>(address[i + 1]) < 0xA0) {
      return AddressProblem::kBadCharacter;
    }
    i += n;
  }
  std::string_view rest;
  if (StartsWithNoCase(address, "http://")) {
    rest = address.substr(7);
  } else if (StartsWithNoCase(address, "https://")) {
    rest = address.substr(8);
  } else {
    return AddressProblem::kNoScheme;
  }
  return CheckAuthority(rest.substr(0, rest.find_first_of("/?#")));
}

const char* DescribeAddressProblem(AddressProblem problem) {
  switch (problem) {
    case AddressProblem::kNone: return "a usable address";
    case AddressProblem::kEmpty: return "empty address";
    case AddressProblem::kNoScheme: return "the address does not start with http:// or https://";
    case AddressProblem::kNoHost: return "no host after the scheme";
    case AddressProblem::kBadHost: return "the host is not a host name or IPv6 address";
    case AddressProblem::kBadPort: return "the port is not a number from 1 to 65535";
    case AddressProblem::kBadCharacter:
      return "the address holds a blank, a control character or invalid UTF-8";
  }
  return "unknown problem";
}

}  // namespace qv
