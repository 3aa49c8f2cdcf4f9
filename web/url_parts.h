// Taking an address apart for a connection: host, port and object path.
//
// Text work only, with the GBK-aware searches of core/text_ops.h: no URL
// grammar, no percent-decoding, no validation. An address without a scheme
// counts as "http://" followed by it. Nothing here fails: every input gives
// a value (an empty address gives host "", port 80 and path "/").
#ifndef QV_WEB_URL_PARTS_H_
#define QV_WEB_URL_PARTS_H_

#include <string_view>

#include "core/types.h"

namespace qv {

// The lower-cased text after the first "https://" (when url starts so) or
// "http://" up to the next "/"; without the first ":" and what follows it
// unless keepPort is true. A query right after the host stays in it.
Text UrlHost(std::string_view url, bool keepPort = false);

// The number after the last ":" of UrlHost(url, true) (0 when no digits
// follow it); else 443 when url starts with "https" in any case, else 80.
int UrlPort(std::string_view url);

// url from the first "/" at or after the host to its end, query included,
// letter case kept; "/" when there is none.
Text UrlPath(std::string_view url);

}  // namespace qv

#endif  // QV_WEB_URL_PARTS_H_
