// TestShop runs the local test shop (tools/testshop/shop.py) for one test
// program: a child python3 process serving HTTP and HTTPS on 127.0.0.1 that
// answers for any host name, with routes and faults the test registers.
//
// The constructor starts the shop and waits (up to 20 s) until it listens;
// the destructor closes the shop's standard input, waits briefly for it to
// exit and kills it if it does not. Every failure (python3 or the script
// missing, the shop dying, a control call refused) throws
// std::runtime_error with a message that says what went wrong, so a test
// using it fails with that message.
//
// The control calls speak HTTP/1.0 over a fresh loopback socket each time;
// they use no code under test. Not thread-safe: use one from one thread.
//
// The shop runs on /usr/bin/python3 (python3 on PATH when that is missing);
// the environment variable QV_PYTHON names another interpreter.
#ifndef QV_TOOLS_TESTSHOP_TEST_SHOP_H_
#define QV_TOOLS_TESTSHOP_TEST_SHOP_H_

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace qv::testing {

class TestShop {
 public:
  // Starts the shop; extra_args go to shop.py (e.g. "--verbose").
  explicit TestShop(const std::vector<std::string>& extra_args = {});
  ~TestShop();
  TestShop(const TestShop&) = delete;
  TestShop& operator=(const TestShop&) = delete;

  int HttpPort() const { return http_port_; }
  int HttpsPort() const { return https_port_; }
  // The shop's self-signed certificate (PEM), for clients that verify it.
  // It is valid for quorvel.example, *.quorvel.example, localhost and
  // 127.0.0.1, and is removed when the shop ends.
  const std::string& CertPath() const { return cert_path_; }

  // Adds routes: json_text is a JSON list of route objects, as shop.py
  // describes. Throws when the shop rejects them (the message says why).
  void AddRoutes(std::string_view json_text);
  // Forgets all routes, the request log and the settings.
  void Reset();
  // Changes settings, e.g. {"delay_all_ms": 20}.
  void Settings(std::string_view json_text);
  // The JSON list of requests received since the last Reset, compact (no
  // spaces), one object per request with the keys conn, scheme, port,
  // method, target, version, host, path, headers ([["Name","value"],...] in
  // the order received) and body_b64.
  std::string Log();

  // Sends one request to the control endpoint and returns the response
  // body; throws unless the status is 200.
  std::string Control(std::string_view method, std::string_view path, std::string_view body);

 private:
  pid_t pid_ = -1;
  int stdin_fd_ = -1;
  int stdout_fd_ = -1;
  int http_port_ = 0;
  int https_port_ = 0;
  std::string cert_path_;

  void Stop();
};

}  // namespace qv::testing

#endif  // QV_TOOLS_TESTSHOP_TEST_SHOP_H_
