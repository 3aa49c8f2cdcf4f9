// Test-only reader of the test shop's request log (TestShop::Log()): the
// JSON list of requests, turned into structs. Malformed text gives the
// entries read so far and sets ok to false.
#ifndef QV_WEB_SHOP_LOG_H_
#define QV_WEB_SHOP_LOG_H_

#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qv::testing {

struct LoggedRequest {
  int conn = 0;
  std::string scheme, method, target, host, path;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;  // decoded

  // "Name: value" lines, in the order received.
  std::vector<std::string> HeaderLines() const {
    std::vector<std::string> out;
    for (const auto& [n, v] : headers) out.push_back(n + ": " + v);
    return out;
  }
};

inline std::string DecodeBase64(std::string_view in) {
  static constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  unsigned bits = 0;
  int count = 0;
  for (char c : in) {
    const std::size_t v = kAlphabet.find(c);
    if (v == std::string_view::npos) continue;  // padding
    bits = (bits << 6) | static_cast<unsigned>(v);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return out;
}

class ShopLogReader {
 public:
  explicit ShopLogReader(std::string_view text) : s_(text) {}

  std::vector<LoggedRequest> Read(bool* ok) {
    std::vector<LoggedRequest> out;
    *ok = Eat('[');
    while (*ok && !Eat(']')) {
      if (!out.empty() && !Eat(',')) return Fail(ok, out);
      LoggedRequest r;
      if (!Eat('{')) return Fail(ok, out);
      while (!Eat('}')) {
        if (r.conn != 0 || !r.method.empty() || !r.scheme.empty()) Eat(',');
        std::string key;
        if (!String(&key) || !Eat(':')) return Fail(ok, out);
        if (key == "headers") {
          if (!Eat('[')) return Fail(ok, out);
          while (!Eat(']')) {
            if (!r.headers.empty()) Eat(',');
            std::string n, v;
            if (!Eat('[') || !String(&n) || !Eat(',') || !String(&v) || !Eat(']')) {
              return Fail(ok, out);
            }
            r.headers.emplace_back(n, v);
          }
        } else if (key == "conn" || key == "port") {
          std::size_t end = i_;
          while (end < s_.size() && s_[end] >= '0' && s_[end] <= '9') ++end;
          if (key == "conn") r.conn = std::atoi(std::string(s_.substr(i_, end - i_)).c_str());
          i_ = end;
        } else {
          std::string v;
          if (!String(&v)) return Fail(ok, out);
          if (key == "scheme") r.scheme = v;
          if (key == "method") r.method = v;
          if (key == "target") r.target = v;
          if (key == "host") r.host = v;
          if (key == "path") r.path = v;
          if (key == "body_b64") {
            r.body = DecodeBase64(v);
          }
        }
      }
      out.push_back(std::move(r));
    }
    return out;
  }

 private:
  std::string_view s_;
  std::size_t i_ = 0;

  std::vector<LoggedRequest> Fail(bool* ok, std::vector<LoggedRequest>& out) {
    *ok = false;
    return std::move(out);
  }
  bool Eat(char c) {
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  // A JSON string; \uXXXX escapes below 0x100 become that byte (the log
  // is latin-1 header text).
  bool String(std::string* out) {
    if (!Eat('"')) return false;
    while (i_ < s_.size() && s_[i_] != '"') {
      char c = s_[i_++];
      if (c == '\\' && i_ < s_.size()) {
        c = s_[i_++];
        if (c == 'n')
          c = '\n';
        else if (c == 'r')
          c = '\r';
        else if (c == 't')
          c = '\t';
        else if (c == 'u' && i_ + 4 <= s_.size()) {
          c = static_cast<char>(std::strtol(std::string(s_.substr(i_, 4)).c_str(), nullptr, 16));
          i_ += 4;
        }
      }
      *out += c;
    }
    return Eat('"');
  }
};

inline std::vector<LoggedRequest> ParseShopLog(std::string_view text) {
  bool ok = false;
  ShopLogReader reader(text);
  std::vector<LoggedRequest> out = reader.Read(&ok);
  if (!ok) out.clear();
  return out;
}

}  // namespace qv::testing

#endif  // QV_WEB_SHOP_LOG_H_
