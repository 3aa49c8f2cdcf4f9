#include "web/curl_http_request.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <mutex>

#include "web/curl_share.h"

namespace qv {

namespace {

bool HasLineBreak(std::string_view s) {
  return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// The lower-case scheme of an absolute http or https address, or "" when
// libcurl cannot parse it as one.
std::string ParseScheme(const std::string& url) {
  CURLU* u = curl_url();
  if (u == nullptr) return {};
  std::string scheme;
  char* part = nullptr;
  if (curl_url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
      curl_url_get(u, CURLUPART_SCHEME, &part, 0) == CURLUE_OK) {
    scheme = part;
    std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  }
  curl_free(part);
  curl_url_cleanup(u);
  if (scheme != "http" && scheme != "https") scheme.clear();
  return scheme;
}

std::mutex gFactoryMu;
HttpRequestFactory& Factory() {
  static HttpRequestFactory* f = new HttpRequestFactory;
  return *f;
}

}  // namespace

void CurlHttpRequest::SetTimeouts(int resolveMs, int connectMs, int sendMs, int receiveMs) {
  connectMs_ = static_cast<long>(std::max(resolveMs, 0)) + std::max(connectMs, 0);
  sendMs_ = sendMs;
  receiveMs_ = receiveMs;
}

void CurlHttpRequest::SetProxy(int setting, std::string_view proxy) {
  if (setting == kProxySettingNamed) {
    proxyMode_ = ProxyMode::kNamed;
    proxy_ = std::string(proxy);
  } else if (setting == 1) {
    proxyMode_ = ProxyMode::kDirect;
    proxy_.clear();
  } else {
    proxyMode_ = ProxyMode::kEnvironment;
    proxy_.clear();
  }
}

void CurlHttpRequest::Open(std::string_view method, std::string_view url, bool async) {
  ClearResponse();
  headers_.clear();
  serverCredentials_ = proxyCredentials_ = false;
  user_.clear();
  password_.clear();
  proxyUser_.clear();
  proxyPassword_.clear();
  method_ = std::string(method);
  url_ = curlnet::EncodeUrl(url);
  scheme_ = ParseScheme(url_);
  // Only synchronous requests exist here; a bad method or address makes
  // the request fail quietly when sent.
  opened_ = !async;
}

void CurlHttpRequest::SetOption(int option, int value) {
  if (option == kOptionEnableRedirects) {
    followRedirects_ = value != 0;
  } else if (option == kOptionSslErrorIgnoreFlags) {
    ignoreCertificateErrors_ = (value & kIgnoreCertificateErrors) != 0;
  }
}

void CurlHttpRequest::SetCredentials(std::string_view user, std::string_view password, int target) {
  if (target == kCredentialsForServer) {
    serverCredentials_ = true;
    user_ = std::string(user);
    password_ = std::string(password);
  } else if (target == kCredentialsForProxy) {
    proxyCredentials_ = true;
    proxyUser_ = std::string(user);
    proxyPassword_ = std::string(password);
  }
}

void CurlHttpRequest::SetRequestHeader(std::string_view name, std::string_view value) {
  if (!opened_ || name.empty() || HasLineBreak(name) || HasLineBreak(value) ||
      name.find(':') != std::string_view::npos || name.find(' ') != std::string_view::npos) {
    return;
  }
  for (auto& [n, v] : headers_) {
    if (curlnet::EqualNoCase(n, name)) {
      v = std::string(value);
      return;
    }
  }
  headers_.emplace_back(name, value);
}

void CurlHttpRequest::Send(std::string_view body) { Perform(AsBytes(body)); }

void CurlHttpRequest::SendBytes(ByteView body) { Perform(body); }

Bytes CurlHttpRequest::ResponseBody() { return std::move(body_); }

Text CurlHttpRequest::GetAllResponseHeaders() { return responseHeaders_; }

int CurlHttpRequest::Status() { return status_; }

void CurlHttpRequest::ClearResponse() {
  body_ = Bytes();
  responseHeaders_.clear();
  status_ = 0;
}

void CurlHttpRequest::Perform(ByteView body) {
  ClearResponse();
  if (!opened_ || scheme_.empty()) return;
  curlnet::CurlTransfer t;
  CURL* e = t.easy();
  if (e == nullptr) return;
  curl_easy_setopt(e, CURLOPT_URL, url_.c_str());

  if (!curlnet::SetMethod(e, method_, body)) return;
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, connectMs_);
  t.SetProgressLimits(sendMs_, receiveMs_);
  t.SetFollowRedirects(followRedirects_, 10);
  t.SetReserveBody(true);

  // A Proxy-Authorization header of the caller goes to the proxy only:
  // with the request itself through a plain proxy, in the CONNECT request
  // of a tunnel. Either way it replaces libcurl's own.
  std::string proxy;
  if (proxyMode_ == ProxyMode::kDirect) {
    curl_easy_setopt(e, CURLOPT_PROXY, "");
  } else if (proxyMode_ == ProxyMode::kNamed) {
    proxy = curlnet::ProxyForScheme(proxy_, scheme_);
    curl_easy_setopt(e, CURLOPT_PROXY, proxy.c_str());  // "" = no proxy
  }
  auto headers = headers_;
  if (!proxy.empty()) {
    auto pa = std::find_if(headers.begin(), headers.end(), [](const auto& h) {
      return curlnet::EqualNoCase(h.first, "Proxy-Authorization");
    });
    if (pa != headers.end()) {
      if (scheme_ == "https") {
        t.AddProxyHeader(pa->first + ": " + pa->second);
        headers.erase(pa);
      } else {
        curl_easy_setopt(e, CURLOPT_HEADEROPT, CURLHEADER_UNIFIED);
      }
    }
  }
  curlnet::HeaderList list;
  if (!curlnet::BuildHeaderList(headers, &list)) return;
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, list.get());
  if (proxyCredentials_) {
    curl_easy_setopt(e, CURLOPT_PROXYUSERNAME, proxyUser_.c_str());
    curl_easy_setopt(e, CURLOPT_PROXYPASSWORD, proxyPassword_.c_str());
    curl_easy_setopt(e, CURLOPT_PROXYAUTH, static_cast<long>(CURLAUTH_BASIC));
  }
  if (serverCredentials_) {
    curl_easy_setopt(e, CURLOPT_USERNAME, user_.c_str());
    curl_easy_setopt(e, CURLOPT_PASSWORD, password_.c_str());
    curl_easy_setopt(e, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC));
  }
  if (ignoreCertificateErrors_) {
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 0L);
  }

  if (!t.Start()) return;
  t.Run([] { return false; });
  if (t.result() != CURLE_OK || !t.headersComplete()) return;
  status_ = t.status();
  const auto& lines = t.headerLines();
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (i > 1) responseHeaders_ += "\r\n";
    responseHeaders_ += lines[i];
  }
  body_ = std::move(t.body());
}

std::unique_ptr<HttpRequest> CreateHttpRequest() {
  HttpRequestFactory factory;
  {
    std::lock_guard<std::mutex> lock(gFactoryMu);
    factory = Factory();
  }
  if (factory) return factory();
  return std::make_unique<CurlHttpRequest>();
}

void SetHttpRequestFactory(HttpRequestFactory factory) {
  std::lock_guard<std::mutex> lock(gFactoryMu);
  Factory() = std::move(factory);
}

}  // namespace qv
