// Test-only redirection of host names to local ports.
//
// Entries have libcurl's CURLOPT_CONNECT_TO form "host:port:addr:addrPort"
// (an empty host or port matches any), e.g.
// "img.quorvel.example:80:127.0.0.1:8081": a request for that host and port
// connects to addr:addrPort instead while keeping its Host header and TLS
// name. They apply to every request of both HTTP interfaces started after
// the call. The environment variable QVPICS_CONNECT_TO (comma-separated
// entries) is read once, on the first request, and its entries apply after
// those given here. Through a proxy, a request that an entry matches goes
// in a CONNECT tunnel to addr:addrPort (libcurl's rule). Malformed entries make the requests they
// would apply to fail. Thread-safe.
#ifndef QV_WEB_CONNECT_OVERRIDE_H_
#define QV_WEB_CONNECT_OVERRIDE_H_

#include <string>
#include <vector>

namespace qv {

// Replaces the programmatic entries (an empty list removes them).
void SetConnectOverrides(std::vector<std::string> entries);

}  // namespace qv

#endif  // QV_WEB_CONNECT_OVERRIDE_H_
