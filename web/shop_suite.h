// Test-only GoogleTest fixture for the transport tests: one local test shop
// per suite, with the hosts a suite names led to it on ports 80 and 443, and
// the proxy variables cleared so that no request leaves the machine.
#ifndef QV_WEB_SHOP_SUITE_H_
#define QV_WEB_SHOP_SUITE_H_

#include <gtest/gtest.h>

#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

#include "tools/testshop/test_shop.h"
#include "web/connect_override.h"
#include "web/curl_inet_api.h"
#include "web/shop_log.h"

namespace qv::testing {

class ShopSuite : public ::testing::Test {
 protected:
  // Starts the shop and leads hosts to it; call from SetUpTestSuite. A shop
  // that cannot start fails every test of the suite with the reason.
  static void StartShop(const std::vector<std::string>& hosts) {
    for (const char* v : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy",
                          "ALL_PROXY", "no_proxy", "NO_PROXY"}) {
      unsetenv(v);
    }
    try {
      shop_ = new TestShop();
    } catch (const std::exception& e) {
      startError_ = e.what();
      return;
    }
    RouteToShop(hosts);
  }
  // Leads more hosts to the shop, besides those already led there.
  static void RouteToShop(const std::vector<std::string>& hosts) {
    for (const std::string& host : hosts) {
      entries_.push_back(host + ":80:127.0.0.1:" + std::to_string(shop_->HttpPort()));
      entries_.push_back(host + ":443:127.0.0.1:" + std::to_string(shop_->HttpsPort()));
    }
    SetConnectOverrides(entries_);
  }
  static void TearDownTestSuite() {
    SetConnectOverrides({});
    entries_.clear();
    delete shop_;
    shop_ = nullptr;
  }
  void SetUp() override {
    ASSERT_NE(shop_, nullptr) << startError_;
    shop_->Reset();
    SetInetTimeoutsForTesting(30000, 60000);
  }

  static TestShop& shop() { return *shop_; }
  static std::vector<LoggedRequest> Log() { return ParseShopLog(shop_->Log()); }

 private:
  static inline TestShop* shop_ = nullptr;
  static inline std::string startError_;
  static inline std::vector<std::string> entries_;
};

}  // namespace qv::testing

#endif  // QV_WEB_SHOP_SUITE_H_
