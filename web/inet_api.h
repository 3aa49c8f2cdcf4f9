// The handle functions that the handle-based request routine calls.
//
// An Internet handle holds the agent and the proxy choice, a connection
// handle a host and port, a request handle one request on that connection.
// Handles are opaque non-zero numbers; 0 means failure. Every call is
// synchronous. The routine closes each handle it opened, request first.
//
// Thread-safe: handles from different threads are independent.
#ifndef QV_WEB_INET_API_H_
#define QV_WEB_INET_API_H_

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/bytes_ops.h"
#include "core/types.h"

namespace qv {

using InetHandle = std::uintptr_t;

inline constexpr int kInetOpenTypeDirect = 1;
inline constexpr int kInetOpenTypeProxy = 3;
inline constexpr int kInetServiceHttp = 3;
inline constexpr int kInetOptionSecurityFlags = 31;
inline constexpr int kHttpQueryRawHeadersCrlf = 22;

inline constexpr std::uint32_t kInetFlagReload = 0x80000000;
inline constexpr std::uint32_t kInetFlagNeedFile = 0x00000010;
inline constexpr std::uint32_t kInetFlagNoCookies = 0x00080000;
inline constexpr std::uint32_t kInetFlagNoAutoRedirect = 0x00200000;
inline constexpr std::uint32_t kInetFlagSecure = 0x00800000;
inline constexpr std::uint32_t kInetFlagIgnoreRedirectToHttps = 0x00004000;
// Certificate problems ignored on every request: unknown authority, wrong
// usage, wrong name, bad date, revocation, weak signature, and redirects
// between http and https.
inline constexpr std::uint32_t kInetSecurityIgnoreAll = 0x0001F380;

class InetApi {
 public:
  virtual ~InetApi() = default;

  // proxy and bypass are absent for a direct connection.
  virtual InetHandle InternetOpen(std::string_view agent, int accessType,
                                  std::optional<std::string_view> proxy,
                                  std::optional<std::string_view> bypass, int flags) = 0;
  virtual InetHandle InternetConnect(InetHandle internet, std::string_view host, int port,
                                     int service, int flags) = 0;
  virtual InetHandle HttpOpenRequest(InetHandle connection, std::string_view verb,
                                     std::string_view objectPath, std::string_view version,
                                     std::uint32_t flags) = 0;
  virtual bool InternetSetOption(InetHandle request, int option, std::uint32_t value) = 0;
  // Sends the request (headers may be empty: none) and receives the status
  // and headers, following redirects unless the request forbids it.
  virtual bool HttpSendRequest(InetHandle request, std::string_view headers, ByteView body) = 0;
  // Stores the number of body bytes read, at most toRead, into *read: 0 at
  // the end of the body and when nothing could be read.
  virtual bool InternetReadFile(InetHandle request, std::uint8_t* buffer, std::uint32_t toRead,
                                std::uint32_t* read) = 0;
  // With kHttpQueryRawHeadersCrlf: the status line and the header lines,
  // CRLF-separated, then a zero byte, when they fit *length bytes; else
  // false, with *length set to the size needed.
  virtual bool HttpQueryInfo(InetHandle request, int infoLevel, char* buffer,
                             std::uint32_t* length) = 0;
  virtual bool InternetCloseHandle(InetHandle handle) = 0;
};

// The process's handle functions, on libcurl.
InetApi& SystemInetApi();

}  // namespace qv

#endif  // QV_WEB_INET_API_H_
