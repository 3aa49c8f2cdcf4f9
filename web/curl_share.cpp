#include "web/curl_share.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <limits>
#include <mutex>

#include "text/codepage.h"
#include "web/connect_override.h"
#include "web/transfer_abort.h"

namespace qv {

namespace {

thread_local const std::atomic<bool>* tAbortFlag = nullptr;

struct Overrides {
  std::mutex mu;
  std::vector<std::string> given;
  std::vector<std::string> fromEnv;
  bool envRead = false;
};

Overrides& TheOverrides() {
  static Overrides* o = new Overrides;  // never destroyed: used until exit
  return *o;
}

std::vector<std::string> SplitEntries(std::string_view text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(',', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view item = text.substr(start, end - start);
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
    if (!item.empty()) out.emplace_back(item);
    start = end + 1;
  }
  return out;
}

}  // namespace

void SetThreadAbortFlag(const std::atomic<bool>* flag) { tAbortFlag = flag; }

bool ThreadAbortRequested() { return tAbortFlag != nullptr && tAbortFlag->load(); }

void SetConnectOverrides(std::vector<std::string> entries) {
  Overrides& o = TheOverrides();
  std::lock_guard<std::mutex> lock(o.mu);
  o.given = std::move(entries);
}

namespace curlnet {

namespace {

struct ShareState {
  std::array<std::mutex, CURL_LOCK_DATA_LAST> locks;
  CURLSH* share = nullptr;
};

void LockShare(CURL*, curl_lock_data data, curl_lock_access, void* user) {
  static_cast<ShareState*>(user)->locks[data].lock();
}

void UnlockShare(CURL*, curl_lock_data data, void* user) {
  static_cast<ShareState*>(user)->locks[data].unlock();
}

ShareState* MakeShare() {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  // Kept until the process ends: handles may be cleaned up from static
  // destructors, and the share must outlive all of them.
  auto* state = new ShareState;
  state->share = curl_share_init();
  if (state->share == nullptr) std::abort();
  curl_share_setopt(state->share, CURLSHOPT_LOCKFUNC, LockShare);
  curl_share_setopt(state->share, CURLSHOPT_UNLOCKFUNC, UnlockShare);
  curl_share_setopt(state->share, CURLSHOPT_USERDATA, state);
  for (curl_lock_data d : {CURL_LOCK_DATA_CONNECT, CURL_LOCK_DATA_SSL_SESSION, CURL_LOCK_DATA_DNS,
                           CURL_LOCK_DATA_COOKIE}) {
    curl_share_setopt(state->share, CURLSHOPT_SHARE, d);
  }
  return state;
}

}  // namespace

CURLSH* ProcessShare() {
  static ShareState* state = MakeShare();  // thread-safe one-time set-up
  return state->share;
}

std::vector<std::string> ConnectOverrides() {
  Overrides& o = TheOverrides();
  std::lock_guard<std::mutex> lock(o.mu);
  if (!o.envRead) {
    o.envRead = true;
    if (const char* env = std::getenv("QVPICS_CONNECT_TO")) o.fromEnv = SplitEntries(env);
  }
  std::vector<std::string> all = o.given;
  all.insert(all.end(), o.fromEnv.begin(), o.fromEnv.end());
  return all;
}

std::string EncodeUrl(std::string_view gbkUrl) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const std::string utf8 = GbkToUtf8(gbkUrl);
  std::string out;
  out.reserve(utf8.size());
  for (unsigned char c : utf8) {
    if (c >= 0x80 || c == ' ') {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string ProxyForScheme(std::string_view list, std::string_view scheme) {
  std::size_t i = 0;
  while (i < list.size()) {
    while (i < list.size() && (list[i] == ';' || list[i] == ' ')) ++i;
    std::size_t end = i;
    while (end < list.size() && list[end] != ';' && list[end] != ' ') ++end;
    std::string_view entry = list.substr(i, end - i);
    i = end;
    if (entry.empty()) continue;
    const std::size_t eq = entry.find('=');
    if (eq == std::string_view::npos) return std::string(entry);
    std::string_view name = entry.substr(0, eq);
    bool same = name.size() == scheme.size();
    for (std::size_t k = 0; same && k < name.size(); ++k) {
      char a = name[k];
      if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
      same = a == scheme[k];
    }
    if (same && eq + 1 < entry.size()) return std::string(entry.substr(eq + 1));
  }
  return {};
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && curl_strnequal(a.data(), b.data(), a.size()) != 0;
}

bool SetMethod(CURL* e, const std::string& method, ByteView body) {
  if (method.empty()) return false;
  for (unsigned char c : method) {
    if (c <= 0x20 || c >= 0x7F ||
        std::string_view("\"(),/:;<=>?@[\\]{}").find(static_cast<char>(c)) !=
            std::string_view::npos) {
      return false;
    }
  }
  static const char kEmpty[] = "";
  const bool isHead = EqualNoCase(method, "HEAD");
  if (isHead) {
    curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
    if (method != "HEAD") curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, method.c_str());
  } else if (!body.empty() || EqualNoCase(method, "POST") || EqualNoCase(method, "PUT")) {
    curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(e, CURLOPT_POSTFIELDS,
                     body.empty() ? kEmpty : reinterpret_cast<const char*>(body.data()));
    if (method != "POST") curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, method.c_str());
  } else if (method != "GET") {
    curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, method.c_str());
  }
  return true;
}

bool BuildHeaderList(const std::vector<std::pair<std::string, std::string>>& headers,
                     HeaderList* list) {
  for (const auto& [name, value] : headers) {
    if (!list->Add(value.empty() ? name + ";" : name + ": " + value)) return false;
  }
  for (std::string_view own : {"Accept", "Expect", "Content-Type", "Proxy-Connection"}) {
    bool given = false;
    for (const auto& h : headers) given = given || EqualNoCase(h.first, own);
    if (!given && !list->Add(std::string(own) + ":")) return false;
  }
  return true;
}

bool HeaderList::Add(const std::string& line) {
  curl_slist* next = curl_slist_append(list_, line.c_str());
  if (next == nullptr) return false;
  list_ = next;
  return true;
}

CurlTransfer::CurlTransfer() {
  CURLSH* share = ProcessShare();
  easy_ = curl_easy_init();
  if (easy_ == nullptr) return;
  curl_easy_setopt(easy_, CURLOPT_SHARE, share);
  curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy_, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy_, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy_, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &CurlTransfer::OnHeader);
  curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &CurlTransfer::OnWrite);
  curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(easy_, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(easy_, CURLOPT_XFERINFOFUNCTION, &CurlTransfer::OnProgress);
  curl_easy_setopt(easy_, CURLOPT_XFERINFODATA, this);
  curl_easy_setopt(easy_, CURLOPT_PREREQFUNCTION, &CurlTransfer::OnPrereq);
  curl_easy_setopt(easy_, CURLOPT_PREREQDATA, this);
  for (const std::string& entry : ConnectOverrides()) {
    curl_slist* next = curl_slist_append(overrides_, entry.c_str());
    if (next != nullptr) overrides_ = next;
  }
  if (overrides_ != nullptr) curl_easy_setopt(easy_, CURLOPT_CONNECT_TO, overrides_);
  proxyHeaders_.Add("Proxy-Connection:");
  curl_easy_setopt(easy_, CURLOPT_PROXYHEADER, proxyHeaders_.get());
  SetFollowRedirects(true, 10);
}

CurlTransfer::~CurlTransfer() {
  if (multi_ != nullptr) {
    if (attached_) curl_multi_remove_handle(multi_, easy_);
    curl_multi_cleanup(multi_);
  }
  if (easy_ != nullptr) curl_easy_cleanup(easy_);
  curl_slist_free_all(overrides_);
}

void CurlTransfer::SetProgressLimits(int sendMs, int receiveMs) {
  sendLimitMs_ = sendMs;
  receiveLimitMs_ = receiveMs;
}

void CurlTransfer::AddProxyHeader(const std::string& line) {
  proxyHeaders_.Add(line);
  if (easy_ != nullptr) curl_easy_setopt(easy_, CURLOPT_PROXYHEADER, proxyHeaders_.get());
}

void CurlTransfer::SetFollowRedirects(bool follow, long maxRedirects) {
  follow_ = follow;
  if (easy_ == nullptr) return;
  curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, follow ? 1L : 0L);
  curl_easy_setopt(easy_, CURLOPT_MAXREDIRS, maxRedirects);
}

bool CurlTransfer::Start() {
  if (easy_ == nullptr) {
    Finish(CURLE_OUT_OF_MEMORY);
    return false;
  }
  multi_ = curl_multi_init();
  if (multi_ == nullptr || curl_multi_add_handle(multi_, easy_) != CURLM_OK) {
    Finish(CURLE_OUT_OF_MEMORY);
    return false;
  }
  attached_ = true;
  Progress();
  return true;
}

void CurlTransfer::Finish(CURLcode code) {
  done_ = true;
  result_ = code;
  if (attached_) {
    // Removing an unfinished transfer closes its connection.
    curl_multi_remove_handle(multi_, easy_);
    attached_ = false;
  }
}

void CurlTransfer::Step() {
  if (!attached_) {
    if (!done_) Finish(CURLE_FAILED_INIT);
    return;
  }
  int running = 0;
  curl_multi_perform(multi_, &running);
  int queued = 0;
  while (CURLMsg* msg = curl_multi_info_read(multi_, &queued)) {
    if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy_) {
      Finish(msg->data.result);
      return;
    }
  }
  if (ShouldStop()) {
    Finish(ThreadAbortRequested() ? CURLE_ABORTED_BY_CALLBACK : CURLE_OPERATION_TIMEDOUT);
    return;
  }
  // Short waits so that the abort flag and the limits are seen promptly.
  if (!paused_) curl_multi_poll(multi_, nullptr, 0, 100, nullptr);
}

bool CurlTransfer::ShouldStop() {
  if (ThreadAbortRequested()) return true;
  if (!connected_ || paused_) return false;
  const int limit = sending_ ? sendLimitMs_ : receiveLimitMs_;
  if (limit <= 0) return false;
  return Clock::now() - lastProgress_ > std::chrono::milliseconds(limit);
}

void CurlTransfer::ResumeIfPaused() {
  if (!paused_ || !attached_) return;
  paused_ = false;
  Progress();
  curl_easy_pause(easy_, CURLPAUSE_CONT);
}

void CurlTransfer::HeaderLine(std::string_view line) {
  Progress();
  if (headersComplete_) return;  // trailers after a chunked body
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (!line.empty()) {
    if (line.starts_with("HTTP/")) {
      lines_.clear();
      status_ = 0;
      const std::size_t blank = line.find(' ');
      if (blank != std::string_view::npos) {
        for (std::size_t i = blank + 1; i < line.size() && i < blank + 4; ++i) {
          if (line[i] < '0' || line[i] > '9') break;
          status_ = status_ * 10 + (line[i] - '0');
        }
      }
    }
    lines_.emplace_back(line);
    return;
  }
  // The blank line ends a header block: an interim (1xx) response or a
  // redirect libcurl follows is not the final one.
  if (lines_.empty()) return;
  if (status_ >= 100 && status_ < 200) {
    lines_.clear();
    return;
  }
  if (follow_ &&
      (status_ == 301 || status_ == 302 || status_ == 303 || status_ == 307 || status_ == 308)) {
    for (std::size_t i = 1; i < lines_.size(); ++i) {
      if (lines_[i].size() >= 9 && curl_strnequal(lines_[i].c_str(), "location:", 9)) {
        lines_.clear();
        return;
      }
    }
  }
  headersComplete_ = true;
  if (reserveBody_) {
    curl_off_t length = -1;
    if (curl_easy_getinfo(easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK &&
        length > 0) {
      constexpr curl_off_t kMaxReserve = curl_off_t{256} << 20;
      body_.reserve(static_cast<std::size_t>(std::min(length, kMaxReserve)));
    }
  }
}

std::size_t CurlTransfer::OnHeader(char* data, std::size_t size, std::size_t n, void* self) {
  static_cast<CurlTransfer*>(self)->HeaderLine(std::string_view(data, size * n));
  return size * n;
}

std::size_t CurlTransfer::OnWrite(char* data, std::size_t size, std::size_t n, void* self) {
  auto* t = static_cast<CurlTransfer*>(self);
  const std::size_t bytes = size * n;
  t->Progress();
  if (!t->headersComplete_) return bytes;  // body of a response that is not the final one
  if (t->pauseAbove_ != 0 && t->body_.size() >= t->pauseAbove_) {
    t->paused_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  const auto* p = reinterpret_cast<const std::uint8_t*>(data);
  t->body_.insert(t->body_.end(), p, p + bytes);
  return bytes;
}

int CurlTransfer::OnProgress(void* self, curl_off_t, curl_off_t dlnow, curl_off_t ultotal,
                             curl_off_t ulnow) {
  auto* t = static_cast<CurlTransfer*>(self);
  if (dlnow != t->lastDown_ || ulnow != t->lastUp_) {
    t->lastDown_ = dlnow;
    t->lastUp_ = ulnow;
    t->Progress();
  }
  t->sending_ = ultotal > 0 && ulnow < ultotal;
  return t->ShouldStop() ? 1 : 0;
}

int CurlTransfer::OnPrereq(void* self, char*, char*, int, int) {
  auto* t = static_cast<CurlTransfer*>(self);
  t->connected_ = true;
  t->Progress();
  return CURL_PREREQFUNC_OK;
}

}  // namespace curlnet
}  // namespace qv
