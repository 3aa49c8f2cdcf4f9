// Shared pieces of the workflow tests: the local shop with every shop host
// led to it and a recording observer. Routes and folder listings come from
// tools/testshop/shop_routes.h.
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
#include "tools/testshop/shop_routes.h"
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
