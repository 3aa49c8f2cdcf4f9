// Shared pieces of the workflow tests: the local shop with every shop host
// led to it, a recording observer, routes with exact bytes, and a listing of
// everything under a folder.
#ifndef QV_APP_WORKFLOW_WORKFLOW_TEST_SUPPORT_H_
#define QV_APP_WORKFLOW_WORKFLOW_TEST_SUPPORT_H_

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "app/workflow/download_observer.h"
#include "regex/page_regex.h"
#include "tools/testshop/test_shop.h"
#include "web/connect_override.h"

namespace qv::testing {

// A host whose requests connect to a loopback port where nothing listens.
inline constexpr char kDeadHost[] = "dead.quorvel.example";

// A loopback port that refuses connections while the program runs: bound,
// never listening.
inline int RefusingPort() {
  static const int port = [] {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      throw std::runtime_error("cannot reserve a loopback port");
    }
    return static_cast<int>(ntohs(a.sin_port));  // fd stays open on purpose
  }();
  return port;
}

// The shop of the test program, started on first use. Every request on port
// 80 or 443 goes to it (so no name is ever looked up), except those for
// kDeadHost.
inline TestShop& Shop() {
  static TestShop* shop = [] {
    auto* s = new TestShop();
    const std::string http = std::to_string(s->HttpPort());
    const std::string https = std::to_string(s->HttpsPort());
    const std::string dead = std::to_string(RefusingPort());
    SetConnectOverrides({
        std::string(kDeadHost) + ":443:127.0.0.1:" + dead,
        std::string(kDeadHost) + ":80:127.0.0.1:" + dead,
        "item.quorvel.example:443:127.0.0.1:" + https,
        "img.quorvel.example:443:127.0.0.1:" + https,
        "d.quorvel.example:80:127.0.0.1:" + http,
        "cdn.quorvel.example:80:127.0.0.1:" + http,
        ":80:127.0.0.1:" + http,
        ":443:127.0.0.1:" + https,
    });
    return s;
  }();
  return *shop;
}

// Makes PageRegex for a test suite (a leftover one is replaced).
inline void FreshPageRegex() {
  DestroyPageRegex();
  ConstructPageRegex();
}

inline std::string Base64(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                       (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    for (int s = 18; s >= 0; s -= 6) out += kAlphabet[(v >> s) & 63];
  }
  const size_t rest = bytes.size() - i;
  if (rest > 0) {
    unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

// s as a JSON string literal (s is UTF-8 or ASCII).
inline std::string Json(std::string_view s) {
  std::string out = "\"";
  for (const char c : s) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(c));
      out += buf;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

// A route object answering host and path with exactly `bytes`; `extra` is
// more JSON members (", \"status\": 500").
inline std::string Route(std::string_view host, std::string_view path, std::string_view bytes,
                         std::string_view extra = "") {
  return "{\"host\": " + Json(host) + ", \"path\": " + Json(path) +
         ", \"body_b64\": " + Json(Base64(bytes)) + std::string(extra) + "}";
}

// Joins route objects into the list AddRoutes takes.
inline std::string Routes(const std::vector<std::string>& routes) {
  std::string out = "[";
  for (size_t i = 0; i < routes.size(); ++i) out += (i ? ", " : "") + routes[i];
  return out + "]";
}

// Picture bytes that differ per seed and hold zero and high bytes.
inline std::string PictureBytes(int seed, size_t n) {
  std::string out(n, '\0');
  for (size_t i = 0; i < n; ++i) out[i] = static_cast<char>((i * 37 + seed * 101) & 0xFF);
  return out;
}

// Everything under a folder: the relative path of each file mapped to its
// bytes, of each folder (with a trailing '/') to "<dir>", of anything else
// to "<other>".
inline std::map<std::string, std::string> TreeOnDisk(const std::string& root) {
  namespace fs = std::filesystem;
  std::map<std::string, std::string> tree;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string rel = fs::relative(it->path(), root).string();
    if (it->is_symlink()) {
      tree[rel] = "<other>";
    } else if (it->is_directory()) {
      tree[rel + "/"] = "<dir>";
    } else if (it->is_regular_file()) {
      std::string bytes;
      if (FILE* f = std::fopen(it->path().c_str(), "rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
        std::fclose(f);
      }
      tree[rel] = bytes;
    } else {
      tree[rel] = "<other>";
    }
  }
  return tree;
}

// Makes a folder and its missing parents (a file-system path).
inline bool MakeFolders(const std::string& native) {
  std::error_code ec;
  std::filesystem::create_directories(native, ec);
  return !ec && std::filesystem::is_directory(native);
}

// Records every observer call in order, as one line each.
class RecordingObserver : public DownloadObserver {
 public:
  void DisableControls() override { calls.push_back("disable"); }
  void OnProgress(const DownloadProgress& p) override {
    progress.push_back(p);
    calls.push_back(std::string("progress ") +
                    (p.phase == DownloadPhase::kMainPictures ? "main " : "desc ") +
                    std::to_string(p.index) + "/" + std::to_string(p.count) + " " + p.fileName);
  }
  void ShowMessage(const std::string& text, const std::string& caption) override {
    messages.push_back(text);
    captions.push_back(caption);
    calls.push_back("message");
  }
  void EnableControls() override { calls.push_back("enable"); }

  std::vector<std::string> calls;
  std::vector<DownloadProgress> progress;
  std::vector<std::string> messages;
  std::vector<std::string> captions;
};

}  // namespace qv::testing

#endif  // QV_APP_WORKFLOW_WORKFLOW_TEST_SUPPORT_H_
