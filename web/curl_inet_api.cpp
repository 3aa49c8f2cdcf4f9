#include "web/curl_inet_api.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "text/codepage.h"
#include "web/curl_share.h"

namespace qv {

namespace {

std::atomic<int> gConnectMs{30000};
std::atomic<int> gIdleMs{60000};

// Body bytes buffered before the transfer pauses until they are read.
constexpr std::size_t kPauseAbove = 256 * 1024;

// Certificate bits of the security flags.
constexpr std::uint32_t kIgnoreRevocation = 0x80;
constexpr std::uint32_t kIgnoreUnknownCa = 0x100;
constexpr std::uint32_t kIgnoreWrongUsage = 0x200;
constexpr std::uint32_t kIgnoreCommonName = 0x1000;
constexpr std::uint32_t kIgnoreDate = 0x2000;

struct Object {
  virtual ~Object() = default;
  InetHandle parent = 0;
};

struct InternetObject : Object {
  std::string agent;
  int accessType = 0;
  std::string proxy;
};

struct ConnectionObject : Object {
  InternetObject internet;  // a copy: the request needs nothing else of it
  std::string host;         // GBK
  int port = 0;
};

struct RequestObject : Object {
  std::mutex mu;
  ConnectionObject connection;
  std::string verb;
  std::string path;  // GBK
  std::uint32_t flags = 0;
  std::uint32_t securityFlags = 0;

  // The current send, if any.
  std::unique_ptr<curlnet::CurlTransfer> transfer;
  std::unique_ptr<curlnet::HeaderList> headerList;
  Bytes sendBody;
  std::size_t readPos = 0;
};

class Registry {
 public:
  InetHandle Add(std::shared_ptr<Object> object) {
    std::lock_guard<std::mutex> lock(mu_);
    const InetHandle h = next_++;
    objects_.emplace(h, std::move(object));
    return h;
  }

  template <typename T>
  std::shared_ptr<T> Get(InetHandle h) {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = objects_.find(h);
    if (it == objects_.end()) return nullptr;
    return std::dynamic_pointer_cast<T>(it->second);
  }

  // Removes h and every handle opened under it. The objects go once no call
  // uses them any more.
  bool Close(InetHandle h) {
    std::vector<std::shared_ptr<Object>> doomed;  // released after the lock
    std::lock_guard<std::mutex> lock(mu_);
    if (objects_.find(h) == objects_.end()) return false;
    std::vector<InetHandle> pending{h};
    while (!pending.empty()) {
      const InetHandle cur = pending.back();
      pending.pop_back();
      for (const auto& [handle, object] : objects_) {
        if (object->parent == cur) pending.push_back(handle);
      }
      auto it = objects_.find(cur);
      if (it != objects_.end()) {
        doomed.push_back(std::move(it->second));
        objects_.erase(it);
      }
    }
    return true;
  }

 private:
  std::mutex mu_;
  InetHandle next_ = 0x100;
  std::map<InetHandle, std::shared_ptr<Object>> objects_;
};

// The header lines of a CRLF-separated text as name and value; lines with
// no colon or no name are dropped.
std::vector<std::pair<std::string, std::string>> ParseHeaders(std::string_view text) {
  std::vector<std::pair<std::string, std::string>> out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view name = line.substr(0, colon);
    std::string_view value = line.substr(colon + 1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
      value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    if (name.empty() || name.find('\r') != std::string_view::npos ||
        value.find('\r') != std::string_view::npos) {
      continue;
    }
    out.emplace_back(name, value);
  }
  return out;
}

std::string BuildUrl(const RequestObject& r, bool secure) {
  std::string url = secure ? "https://" : "http://";
  const std::string host = GbkToUtf8(r.connection.host);
  const bool ipv6 = host.find(':') != std::string::npos && !host.starts_with("[");
  url += ipv6 ? "[" + host + "]" : host;
  if (r.connection.port > 0) url += ":" + std::to_string(r.connection.port);
  if (!r.path.starts_with("/")) url += '/';
  url += curlnet::EncodeUrl(r.path);
  return url;
}

class CurlInetApi : public InetApi {
 public:
  InetHandle InternetOpen(std::string_view agent, int accessType,
                          std::optional<std::string_view> proxy, std::optional<std::string_view>,
                          int) override {
    auto o = std::make_shared<InternetObject>();
    o->agent = std::string(agent);
    o->accessType = accessType;
    if (proxy) o->proxy = std::string(*proxy);
    return registry_.Add(std::move(o));
  }

  InetHandle InternetConnect(InetHandle internet, std::string_view host, int port, int,
                             int) override {
    auto parent = registry_.Get<InternetObject>(internet);
    if (parent == nullptr) return 0;
    auto o = std::make_shared<ConnectionObject>();
    o->parent = internet;
    o->internet = *parent;
    o->internet.parent = 0;
    o->host = std::string(host);
    o->port = port > 0 && port <= 65535 ? port : 0;
    return registry_.Add(std::move(o));
  }

  InetHandle HttpOpenRequest(InetHandle connection, std::string_view verb,
                             std::string_view objectPath, std::string_view,
                             std::uint32_t flags) override {
    auto parent = registry_.Get<ConnectionObject>(connection);
    if (parent == nullptr) return 0;
    auto o = std::make_shared<RequestObject>();
    o->parent = connection;
    o->connection = *parent;
    o->connection.parent = 0;
    o->verb = verb.empty() ? "GET" : std::string(verb);
    o->path = std::string(objectPath);
    o->flags = flags;
    return registry_.Add(std::move(o));
  }

  bool InternetSetOption(InetHandle request, int option, std::uint32_t value) override {
    auto r = registry_.Get<RequestObject>(request);
    if (r == nullptr || option != kInetOptionSecurityFlags) return false;
    std::lock_guard<std::mutex> lock(r->mu);
    r->securityFlags = value;
    return true;
  }

  bool HttpSendRequest(InetHandle request, std::string_view headers, ByteView body) override {
    auto r = registry_.Get<RequestObject>(request);
    if (r == nullptr) return false;
    std::lock_guard<std::mutex> lock(r->mu);
    r->transfer.reset();
    r->headerList = std::make_unique<curlnet::HeaderList>();
    r->sendBody.assign(body.begin(), body.end());
    r->readPos = 0;

    auto t = std::make_unique<curlnet::CurlTransfer>();
    CURL* e = t->easy();
    if (e == nullptr) return false;
    const bool secure = (r->flags & kInetFlagSecure) != 0;
    const std::string url = BuildUrl(*r, secure);
    curl_easy_setopt(e, CURLOPT_URL, url.c_str());
    if (!curlnet::SetMethod(e, r->verb, r->sendBody)) return false;
    if (!curlnet::BuildHeaderList(ParseHeaders(headers), r->headerList.get())) return false;
    curl_easy_setopt(e, CURLOPT_HTTPHEADER, r->headerList->get());
    const InternetObject& inet = r->connection.internet;
    if (!inet.agent.empty()) curl_easy_setopt(e, CURLOPT_USERAGENT, inet.agent.c_str());
    if (inet.accessType == kInetOpenTypeDirect) {
      curl_easy_setopt(e, CURLOPT_PROXY, "");
    } else if (inet.accessType == kInetOpenTypeProxy) {
      const std::string proxy = curlnet::ProxyForScheme(inet.proxy, secure ? "https" : "http");
      curl_easy_setopt(e, CURLOPT_PROXY, proxy.c_str());
    }
    if ((r->flags & kInetFlagNoCookies) == 0) curl_easy_setopt(e, CURLOPT_COOKIEFILE, "");
    const std::uint32_t sec = r->securityFlags;
    if (sec & (kIgnoreUnknownCa | kIgnoreWrongUsage | kIgnoreDate | kIgnoreRevocation)) {
      curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 0L);
    }
    if (sec & kIgnoreCommonName) curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 0L);
    curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(gConnectMs.load()));
    t->SetProgressLimits(gIdleMs.load(), gIdleMs.load());
    t->SetFollowRedirects((r->flags & kInetFlagNoAutoRedirect) == 0, 10);
    t->SetPauseAbove(kPauseAbove);

    r->transfer = std::move(t);
    curlnet::CurlTransfer& tr = *r->transfer;
    if (!tr.Start()) return false;
    tr.Run([&tr] { return tr.headersComplete(); });
    return tr.headersComplete();
  }

  bool InternetReadFile(InetHandle request, std::uint8_t* buffer, std::uint32_t toRead,
                        std::uint32_t* read) override {
    if (read == nullptr) return false;
    *read = 0;
    auto r = registry_.Get<RequestObject>(request);
    if (r == nullptr || (buffer == nullptr && toRead > 0)) return false;
    std::lock_guard<std::mutex> lock(r->mu);
    if (r->transfer == nullptr || !r->transfer->headersComplete()) return false;
    curlnet::CurlTransfer& t = *r->transfer;
    if (toRead == 0) return true;
    Bytes& body = t.body();
    for (;;) {
      if (r->readPos < body.size()) {
        const std::size_t n = std::min<std::size_t>(toRead, body.size() - r->readPos);
        std::memcpy(buffer, body.data() + r->readPos, n);
        r->readPos += n;
        *read = static_cast<std::uint32_t>(n);
        return true;
      }
      body.clear();  // keeps its capacity for the next piece
      r->readPos = 0;
      if (t.done()) return t.result() == CURLE_OK;
      t.ResumeIfPaused();
      t.Run([&body] { return !body.empty(); });
    }
  }

  bool HttpQueryInfo(InetHandle request, int infoLevel, char* buffer,
                     std::uint32_t* length) override {
    if (length == nullptr || infoLevel != kHttpQueryRawHeadersCrlf) return false;
    auto r = registry_.Get<RequestObject>(request);
    if (r == nullptr) return false;
    std::lock_guard<std::mutex> lock(r->mu);
    if (r->transfer == nullptr || !r->transfer->headersComplete()) return false;
    std::string block;
    for (const std::string& line : r->transfer->headerLines()) block += line + "\r\n";
    block += "\r\n";
    const std::size_t needed = block.size() + 1;
    if (buffer == nullptr || *length < needed) {
      *length = static_cast<std::uint32_t>(needed);
      return false;
    }
    std::memcpy(buffer, block.data(), block.size());
    buffer[block.size()] = '\0';
    *length = static_cast<std::uint32_t>(block.size());
    return true;
  }

  bool InternetCloseHandle(InetHandle handle) override {
    return handle != 0 && registry_.Close(handle);
  }

 private:
  Registry registry_;
};

}  // namespace

void SetInetTimeoutsForTesting(int connectMs, int idleMs) {
  gConnectMs = connectMs;
  gIdleMs = idleMs;
}

InetApi& SystemInetApi() {
  static CurlInetApi* api = new CurlInetApi;  // lives until exit, like the share
  return *api;
}

}  // namespace qv
