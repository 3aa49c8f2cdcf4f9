// What the two request routines share: the method table, the default agent,
// the default header lines and the reading of response cookies.
#ifndef QV_WEB_REQUEST_COMMON_H_
#define QV_WEB_REQUEST_COMMON_H_

#include <initializer_list>
#include <string_view>

#include "core/types.h"

namespace qv {

// Request verbs by method index; an index outside 0..7 means 0 (GET).
inline constexpr std::string_view kHttpMethods[] = {"GET",     "POST",   "HEAD",  "PUT",
                                                    "OPTIONS", "DELETE", "TRACE", "CONNECT"};
inline constexpr int kMethodGet = 0;
inline constexpr int kMethodPost = 1;

// The agent both request routines announce unless the caller names one.
inline constexpr std::string_view kDefaultAgent =
    "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

inline constexpr std::string_view kCrlf = "\r\n";

// method, or kMethodGet when it is outside the table.
int ClampMethod(int method);

// A header line added when its label is missing.
struct DefaultHeaderLine {
  std::string_view label;
  Text line;
};

// Appends CRLF and the line of every default whose label occurs nowhere in
// *headers (letter case ignored), in order, each test seeing the lines
// appended before it. A POST also gets the form Content-Type line.
void AppendDefaultHeaders(Text* headers, std::initializer_list<DefaultHeaderLine> defaults,
                          int method);

// The cookies set by the "Set-Cookie: " lines of a CRLF-separated header
// block, each as the trimmed text up to its first ";", joined by "; ". Lines
// whose label differs in letter case or lacks the blank after the colon
// are ignored.
Text CollectResponseCookies(std::string_view headerBlock);

}  // namespace qv

#endif  // QV_WEB_REQUEST_COMMON_H_
