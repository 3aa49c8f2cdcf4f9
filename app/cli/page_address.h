// Whether a command-line argument can be a product page address, checked
// before any download starts.
//
// After the blanks around it (space, tab, CR, LF, VT, FF) are trimmed, an
// address is "http://" or "https://" (either letter case) followed by a host:
// a name of ASCII letters, digits, '-' and '.' (no empty label) or an IPv6
// literal in brackets, then optionally ":port" (1-65535), then optionally a
// path, query or fragment starting with '/', '?' or '#'. User information
// ("user@") is not accepted. No byte of it may be a blank or a control (C0, DEL, C1),
// and it must be valid UTF-8. Nothing here fails otherwise.
#ifndef QV_APP_CLI_PAGE_ADDRESS_H_
#define QV_APP_CLI_PAGE_ADDRESS_H_

#include <string>
#include <string_view>

namespace qv {

enum class AddressProblem {
  kNone,
  kEmpty,         // nothing but blanks
  kNoScheme,      // not http:// or https://
  kNoHost,        // nothing where the host goes
  kBadHost,       // a host that is no name, no IPv6 literal, or has "user@"
  kBadPort,       // a port that is empty, not a number or out of range
  kBadCharacter,  // a blank or control byte inside, or invalid UTF-8
};

// The address without its surrounding blanks.
std::string_view TrimAddress(std::string_view text);

// Checks text; kNone when it is a usable address.
AddressProblem CheckPageAddress(std::string_view text);

// A short English description of problem, e.g. "no host after the scheme".
const char* DescribeAddressProblem(AddressProblem problem);

}  // namespace qv

#endif  // QV_APP_CLI_PAGE_ADDRESS_H_
