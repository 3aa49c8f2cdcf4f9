// One HTTP or HTTPS request over the handle functions of web/inet_api.h, and
// the page fetch built on it.
//
// WebRequestInet opens an Internet, a connection and a request handle, sends
// the request with its header lines and body, reads the whole body and the
// raw header block, and closes the handles again, request first. It never
// reports an error itself: when a handle cannot be opened it closes what it
// opened and returns an empty body without writing any out parameter; a
// send or read that fails leaves the body empty. An HTTP error status is no
// failure.
//
// Runs on the calling thread and keeps no state of its own between calls.
#ifndef QV_WEB_WEB_REQUEST_INET_H_
#define QV_WEB_WEB_REQUEST_INET_H_

#include <optional>
#include <string_view>

#include "core/types.h"
#include "web/inet_api.h"

namespace qv {

// Size of the piece read per InternetReadFile call, and of the buffer the
// response header block is queried into.
inline constexpr int kInetReadPiece = 1024;
inline constexpr int kInetHeaderBuffer = 5000;

// Everything after the address, in the routine's parameter order, plus the
// handle functions to use. A null pointer or an empty optional means "left
// out".
struct WebRequestInetOptions {
  int method = 0;
  // Body for a method other than GET when postBytes is left out or empty.
  Text postText = {};
  // In/out. Given (even empty): the request keeps out of the process cookie
  // store, a non-empty text is sent as a Cookie line, and with merging on
  // *cookies ends as the merged cookie text.
  Text* cookies = nullptr;
  // Out: the cookies the response set ("a=1; b=2"), or the merged text.
  Text* responseCookies = nullptr;
  // CRLF-separated "name: value" lines; a "User-Agent:" line also names the
  // agent.
  Text extraHeaders = {};
  // Out: the status line and header lines, CRLF-separated. When the header
  // query fails (no response, or a block of 5,000 bytes or more) it holds
  // the untouched buffer: 5,000 blanks.
  Text* responseHeaders = nullptr;
  bool noRedirect = false;
  // In/out body bytes. For a method other than GET, an empty value is
  // replaced by the bytes of postText, which are then sent.
  Bytes* postBytes = nullptr;
  // "host:port"; empty means a direct connection.
  Text proxy = {};
  // Left out: true.
  std::optional<bool> autoMergeCookies = std::nullopt;
  std::optional<bool> addDefaultHeaders = std::nullopt;
  std::optional<bool> fixHeaderCase = std::nullopt;
  // The handle functions; null means SystemInetApi().
  InetApi* inet = nullptr;
};

// Performs one request to url and returns the response body (empty when no
// handle could be opened, nothing could be read, or the body is empty).
Bytes WebRequestInet(std::string_view url, const WebRequestInetOptions& options = {});

// The body of a GET of url with every default, as text up to its first zero
// byte; empty on any failure. inet null means SystemInetApi().
Text FetchPageText(std::string_view url, InetApi* inet = nullptr);

}  // namespace qv

#endif  // QV_WEB_WEB_REQUEST_INET_H_
