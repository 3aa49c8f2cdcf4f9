// The handle layer (InetApi) on libcurl: what SystemInetApi() returns.
//
// - InternetOpen: the agent becomes the User-Agent header unless the
//   request's headers name one. kInetOpenTypeDirect uses no proxy at all
//   (the proxy variables are ignored); kInetOpenTypeProxy uses the proxy
//   text, where "http=host:port" applies to http addresses only and a bare
//   "host:port" to all. The bypass list is not used.
// - HttpOpenRequest: kInetFlagSecure means https; kInetFlagNoAutoRedirect
//   switches redirects off (else at most 10 hops, more is a failed send);
//   without kInetFlagNoCookies the process's in-memory cookie store sends
//   and keeps cookies. Other flags are accepted and have no effect.
// - InternetSetOption(kInetOptionSecurityFlags): the unknown-authority,
//   wrong-usage and bad-date bits switch peer verification off, the
//   wrong-name bit host verification; it must come before HttpSendRequest.
// - HttpSendRequest returns once the final response's header block has
//   arrived (true) or the request failed (false). The body is streamed:
//   InternetReadFile moves it on as it reads, and at most about 256 KB of
//   it wait in memory. A body cut short (reset, fewer bytes than announced)
//   ends with what arrived.
// - HttpQueryInfo(kHttpQueryRawHeadersCrlf) writes the status line and the
//   header lines each followed by CRLF, then the CRLF that ended the block,
//   then a zero byte; false (with *length set to the size needed) when that
//   does not fit *length bytes or nothing was received.
// - Only the headers given to HttpSendRequest go out, plus Host, the agent,
//   and Content-Length for a body.
// - InternetCloseHandle closes a handle and every handle opened under it.
// - Time-outs: 30 s to connect, 60 s without progress after that.
#ifndef QV_WEB_CURL_INET_API_H_
#define QV_WEB_CURL_INET_API_H_

#include "web/inet_api.h"

namespace qv {

// Changes the time-outs of requests sent after the call (for tests):
// connect set-up and no progress, in ms.
void SetInetTimeoutsForTesting(int connectMs, int idleMs);

}  // namespace qv

#endif  // QV_WEB_CURL_INET_API_H_
