#include "text/iconv_converter.h"

#include <errno.h>
#include <iconv.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace qv {
namespace {

const char* IconvName(Encoding e) {
  switch (e) {
    case Encoding::kGbk: return "CP936";
    case Encoding::kUtf8: return "UTF-8";
    case Encoding::kUtf16Le: return "UTF-16LE";
  }
  return "UTF-8";
}

std::string_view Replacement(Encoding to) {
  switch (to) {
    case Encoding::kGbk: return "?";
    case Encoding::kUtf8: return "\xEF\xBF\xBD";
    case Encoding::kUtf16Le: return std::string_view("\xFD\xFF", 2);
  }
  return "?";
}

bool IsAsciiCompatible(Encoding e) { return e != Encoding::kUtf16Le; }

// Length of the valid UTF-8 sequence at s[i], or 0 when it is not one.
size_t Utf8SequenceLength(std::string_view s, size_t i) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
  const unsigned char c = b(0);
  size_t n;
  uint32_t cp;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF)
    n = 2, cp = c & 0x1F;
  else if (c >= 0xE0 && c <= 0xEF)
    n = 3, cp = c & 0x0F;
  else if (c >= 0xF0 && c <= 0xF4)
    n = 4, cp = c & 0x07;
  else
    return 0;
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((b(k) & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (b(k) & 0x3F);
  }
  const bool overlong = (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000);
  const bool bad = overlong || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF;
  return bad ? 0 : n;
}

// How many input bytes one replacement stands for at in[i]: the whole
// character when it is valid but has no place in the target, else one byte
// (one unit for UTF-16).
size_t SkipAt(std::string_view in, size_t i, Encoding from) {
  const size_t left = in.size() - i;
  switch (from) {
    case Encoding::kUtf8: {
      const size_t n = Utf8SequenceLength(in, i);
      return n ? n : 1;
    }
    case Encoding::kUtf16Le: {
      if (left < 2) return left;
      const auto unit = [&](size_t k) {
        return static_cast<uint16_t>(static_cast<unsigned char>(in[k]) |
                                     static_cast<unsigned char>(in[k + 1]) << 8);
      };
      const uint16_t u = unit(i);
      const bool pair =
          u >= 0xD800 && u <= 0xDBFF && left >= 4 && unit(i + 2) >= 0xDC00 && unit(i + 2) <= 0xDFFF;
      return pair ? 4 : 2;
    }
    case Encoding::kGbk: return 1;
  }
  return 1;
}

// One descriptor per direction and thread, reset before each use.
class Descriptors {
 public:
  ~Descriptors() {
    for (auto& row : cd_)
      for (iconv_t cd : row)
        if (cd != kNone) iconv_close(cd);
  }
  iconv_t Get(Encoding from, Encoding to) {
    iconv_t& cd = cd_[static_cast<int>(from)][static_cast<int>(to)];
    if (cd == kNone) cd = iconv_open(IconvName(to), IconvName(from));
    if (cd != kNone) iconv(cd, nullptr, nullptr, nullptr, nullptr);
    return cd;
  }

 private:
  static inline const iconv_t kNone = reinterpret_cast<iconv_t>(-1);
  std::array<std::array<iconv_t, 3>, 3> cd_{
      {{kNone, kNone, kNone}, {kNone, kNone, kNone}, {kNone, kNone, kNone}}};
};

// Converts a run that holds no ASCII shortcut, appending to out.
void ConvertRun(iconv_t cd, std::string_view in, Encoding from, Encoding to, std::string* out) {
  size_t pos = 0;
  while (pos < in.size()) {
    const size_t base = out->size();
    out->resize(base + (in.size() - pos) * 4 + 8);
    char* src = const_cast<char*>(in.data() + pos);
    size_t srcLeft = in.size() - pos;
    char* dst = out->data() + base;
    size_t dstLeft = out->size() - base;
    const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    const int err = errno;
    out->resize(static_cast<size_t>(dst - out->data()));
    pos = in.size() - srcLeft;
    if (rc != static_cast<size_t>(-1)) break;
    if (err == E2BIG) continue;
    // EILSEQ or EINVAL: an invalid or unrepresentable character, or one cut
    // off at the end.
    out->append(Replacement(to));
    pos += SkipAt(in, pos, from);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
}

thread_local Descriptors t_descriptors;

// GBK to UTF-8 is the hot direction (every page the patterns run over), so it
// goes through a table that iconv fills once: the UTF-8 form of every
// two-byte character and of the one high single byte (0x80, the euro sign).
class GbkDecodeTable {
 public:
  static const GbkDecodeTable& Get() {
    static const GbkDecodeTable table;
    return table;
  }

  // Appends the character at in[i] to *out and returns its byte length.
  size_t Decode(std::string_view in, size_t i, char** out) const {
    const auto lead = static_cast<unsigned char>(in[i]);
    const Entry* e = &single_[lead];
    size_t used = 1;
    if (e->length == 0 && i + 1 < in.size()) {
      e = &pair_[lead << 8 | static_cast<unsigned char>(in[i + 1])];
      used = 2;
    }
    if (e->length == 0) {
      e = &kInvalid;  // one replacement per invalid byte
      used = 1;
    }
    std::memcpy(*out, e->utf8, 3);
    *out += e->length;
    return used;
  }

 private:
  struct Entry {
    char utf8[3] = {};
    std::uint8_t length = 0;  // 0: not a character
  };
  static constexpr Entry kInvalid = {{'\xEF', '\xBF', '\xBD'}, 3};

  GbkDecodeTable() : pair_(65536) {
    iconv_t cd = iconv_open("UTF-8", IconvName(Encoding::kGbk));
    if (cd == reinterpret_cast<iconv_t>(-1)) return;
    const auto fill = [&](const char* bytes, size_t n, Entry* e) {
      char* src = const_cast<char*>(bytes);
      char buf[8];
      char* dst = buf;
      size_t srcLeft = n, dstLeft = sizeof buf;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      const bool ok = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1);
      const size_t made = sizeof buf - dstLeft;
      if (ok && srcLeft == 0 && made >= 1 && made <= 3) {
        e->length = static_cast<std::uint8_t>(made);
        std::memcpy(e->utf8, buf, made);
      }
    };
    for (int b = 0x80; b <= 0xFF; ++b) {
      const char one[1] = {static_cast<char>(b)};
      fill(one, 1, &single_[b]);
      for (int t = 0; t <= 0xFF && single_[b].length == 0; ++t) {
        const char two[2] = {static_cast<char>(b), static_cast<char>(t)};
        fill(two, 2, &pair_[b << 8 | t]);
      }
    }
    iconv_close(cd);
  }

  Entry single_[256];
  std::vector<Entry> pair_;
};

std::string DecodeGbk(std::string_view in) {
  const GbkDecodeTable& table = GbkDecodeTable::Get();
  // At most three bytes out for each byte in; filled without zeroing first.
  std::unique_ptr<char[]> buffer(new char[in.size() * 3 + 3]);
  char* out = buffer.get();
  size_t i = 0;
  while (i < in.size()) {
    // Copy ASCII eight bytes at a time where it runs on.
    while (i + 8 <= in.size()) {
      std::uint64_t block;
      std::memcpy(&block, in.data() + i, 8);
      if (block & 0x8080808080808080ULL) break;
      std::memcpy(out, in.data() + i, 8);
      out += 8;
      i += 8;
    }
    if (i >= in.size()) break;
    if (static_cast<unsigned char>(in[i]) < 0x80) {
      *out++ = in[i++];
    } else {
      i += table.Decode(in, i, &out);
    }
  }
  return std::string(buffer.get(), static_cast<size_t>(out - buffer.get()));
}

}  // namespace

std::string ConvertEncoding(std::string_view in, Encoding from, Encoding to) {
  if (from == Encoding::kGbk && to == Encoding::kUtf8) return DecodeGbk(in);

  std::string out;
  if (in.empty()) return out;
  iconv_t cd = t_descriptors.Get(from, to);
  if (cd == reinterpret_cast<iconv_t>(-1)) return out;
  if (!IsAsciiCompatible(from) || !IsAsciiCompatible(to)) {
    out.reserve(in.size() * 2);
    ConvertRun(cd, in, from, to, &out);
    return out;
  }
  out.reserve(in.size() + in.size() / 2);
  size_t i = 0;
  while (i < in.size()) {
    size_t j = i;
    while (j < in.size() && static_cast<unsigned char>(in[j]) < 0x80) ++j;
    out.append(in.substr(i, j - i));
    i = j;
    while (j < in.size() && static_cast<unsigned char>(in[j]) >= 0x80) {
      // A GBK character's second byte may be ASCII: keep pairs together.
      j += (from == Encoding::kGbk) ? 2 : 1;
    }
    j = std::min(j, in.size());
    if (j > i) ConvertRun(cd, in.substr(i, j - i), from, to, &out);
    i = j;
  }
  return out;
}

size_t GbkUtf16Units(std::string_view in) {
  return ConvertEncoding(in, Encoding::kGbk, Encoding::kUtf16Le).size() / 2;
}

}  // namespace qv
