// The libcurl plumbing shared by the two HTTP interfaces (HttpRequest and
// the handle layer): one-time library set-up, the process-wide share, and
// CurlTransfer, which runs one easy handle on its own multi handle with
// no-progress time-outs, the thread's abort flag, the connect overrides and
// a record of the final response.
//
// The share holds connections, TLS sessions, DNS entries and the process's
// cookie store; every easy handle made here uses it, so a request to a host
// reuses an idle connection that another request left open. The cookie
// store is only read and written by transfers that enable it
// (CURLOPT_COOKIEFILE "").
//
// Thread-safe, except that one CurlTransfer belongs to one thread at a time.
#ifndef QV_WEB_CURL_SHARE_H_
#define QV_WEB_CURL_SHARE_H_

#include <curl/curl.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/bytes_ops.h"
#include "core/types.h"

namespace qv::curlnet {

// Initialises libcurl once and returns the process-wide share (never null).
CURLSH* ProcessShare();

// The connect overrides in force: those of SetConnectOverrides, then those
// of QVPICS_CONNECT_TO.
std::vector<std::string> ConnectOverrides();

// A GBK address as libcurl takes it: converted to UTF-8, with bytes >= 0x80
// and blanks percent-encoded.
std::string EncodeUrl(std::string_view gbkUrl);

// The proxy for addresses of `scheme` ("http" or "https") in a proxy list of
// entries separated by ';' or blanks: "scheme=host:port" applies to that
// scheme only, a bare "host:port" to every scheme; the first that applies
// wins. Empty when none applies.
std::string ProxyForScheme(std::string_view list, std::string_view scheme);

// An owned curl_slist.
class HeaderList {
 public:
  HeaderList() = default;
  ~HeaderList() { curl_slist_free_all(list_); }
  HeaderList(const HeaderList&) = delete;
  HeaderList& operator=(const HeaderList&) = delete;
  // Adds one line in libcurl's syntax ("Name: value", "Name;" for an empty
  // value, "Name:" to suppress a header libcurl would add). False when out of
  // memory.
  bool Add(const std::string& line);
  curl_slist* get() const { return list_; }

 private:
  curl_slist* list_ = nullptr;
};

// Sets the method and the body on e: HEAD goes without a body; a body that
// is not empty, and any POST or PUT, goes with Content-Length; methods other
// than GET and POST by CURLOPT_CUSTOMREQUEST. The body must outlive the
// transfer. False when method is not an HTTP token.
bool SetMethod(CURL* e, const std::string& method, ByteView body);

// Fills *list with the headers in order ("Name: value", "Name;" for an
// empty value) and switches off libcurl's own Accept, Expect, form
// Content-Type and Proxy-Connection unless the headers give them. False when out of memory.
bool BuildHeaderList(const std::vector<std::pair<std::string, std::string>>& headers,
                     HeaderList* list);

// ASCII comparison without letter case.
bool EqualNoCase(std::string_view a, std::string_view b);

// One transfer. Construct, set options on easy() (the common ones are set
// already), Start(), then Run() until the wanted point.
class CurlTransfer {
 public:
  using Clock = std::chrono::steady_clock;

  CurlTransfer();
  ~CurlTransfer();
  CurlTransfer(const CurlTransfer&) = delete;
  CurlTransfer& operator=(const CurlTransfer&) = delete;

  // Null when libcurl could not make a handle; then Start fails.
  CURL* easy() const { return easy_; }

  // No-progress limits in ms once connected (<= 0: none). The send limit
  // applies while the request body is going out, the receive limit after.
  void SetProgressLimits(int sendMs, int receiveMs);
  // Whether libcurl follows redirects (sets CURLOPT_FOLLOWLOCATION too);
  // a followed redirect's response is not the final one.
  void SetFollowRedirects(bool follow, long maxRedirects);
  // Body bytes beyond this many buffered pause the transfer until
  // ResumeIfPaused (0: never pause).
  void SetPauseAbove(std::size_t bytes) { pauseAbove_ = bytes; }
  // Adds a header line for the proxy only (in a CONNECT request). The list
  // already switches libcurl's own Proxy-Connection off.
  void AddProxyHeader(const std::string& line);
  // Reserve the body buffer from Content-Length (up to 256 MB).
  void SetReserveBody(bool reserve) { reserveBody_ = reserve; }

  // Attaches the easy handle to a new multi handle. False on failure (the
  // transfer is then done with an error).
  bool Start();
  // Drives the transfer until it ends or stop() returns true (checked after
  // each step). Honours the limits and the thread's abort flag.
  template <typename Stop>
  void Run(Stop stop) {
    while (!done_ && !stop()) Step();
  }
  // Unpauses a paused transfer.
  void ResumeIfPaused();

  bool done() const { return done_; }
  // CURLE_OK when the transfer ended normally.
  CURLcode result() const { return result_; }
  // The header block of the final response has arrived.
  bool headersComplete() const { return headersComplete_; }
  int status() const { return status_; }
  // The lines of the final response's header block, status line first,
  // without line ends.
  const std::vector<std::string>& headerLines() const { return lines_; }
  // Body bytes of the final response received so far; the owner may take
  // or clear them (a cleared buffer lets a paused transfer go on).
  Bytes& body() { return body_; }
  bool paused() const { return paused_; }

 private:
  CURL* easy_ = nullptr;
  CURLM* multi_ = nullptr;
  bool attached_ = false;
  bool done_ = false;
  CURLcode result_ = CURLE_OK;

  int sendLimitMs_ = 0;
  int receiveLimitMs_ = 0;
  bool follow_ = true;
  std::size_t pauseAbove_ = 0;
  bool reserveBody_ = false;
  bool paused_ = false;

  bool connected_ = false;
  bool sending_ = false;
  curl_off_t lastDown_ = -1;
  curl_off_t lastUp_ = -1;
  Clock::time_point lastProgress_;

  std::vector<std::string> lines_;
  bool headersComplete_ = false;
  int status_ = 0;
  Bytes body_;
  std::string overridesText_;
  curl_slist* overrides_ = nullptr;
  HeaderList proxyHeaders_;

  void Step();
  // True (and ends the transfer's right to go on) when the abort flag is
  // set or a no-progress limit has passed.
  bool ShouldStop();
  void Finish(CURLcode code);
  void Progress() { lastProgress_ = Clock::now(); }
  void HeaderLine(std::string_view line);

  static std::size_t OnHeader(char* data, std::size_t size, std::size_t n, void* self);
  static std::size_t OnWrite(char* data, std::size_t size, std::size_t n, void* self);
  static int OnProgress(void* self, curl_off_t dltotal, curl_off_t dlnow, curl_off_t ultotal,
                        curl_off_t ulnow);
  static int OnPrereq(void* self, char* primary, char* local, int primaryPort, int localPort);
};

}  // namespace qv::curlnet

#endif  // QV_WEB_CURL_SHARE_H_
