// Building the test shop's routes, and reading back what a download wrote:
// plain C++ for any test program (GoogleTest or Qt Test). The encoder here is
// the fixture's own, so tests do not lean on the code they test.
#ifndef QV_TOOLS_TESTSHOP_SHOP_ROUTES_H_
#define QV_TOOLS_TESTSHOP_SHOP_ROUTES_H_

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace qv::testing {

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
  if (ec) tree["<error>"] = ec.message();
  return tree;
}

}  // namespace qv::testing

#endif  // QV_TOOLS_TESTSHOP_SHOP_ROUTES_H_
