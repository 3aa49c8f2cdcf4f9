#include "web/base64.h"

#include <gtest/gtest.h>

#include <string>

namespace qv {
namespace {

TEST(Base64EncodeTest, Rfc4648Vectors) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [input, want] : cases) {
    SCOPED_TRACE(input);
    EXPECT_EQ(Base64Encode(AsBytes(input)), want);
  }
}

TEST(Base64EncodeTest, EncodesEveryByteValueIncludingZero) {
  const std::pair<Bytes, std::string> cases[] = {
      {{0x00}, "AA=="},
      {{0x00, 0x00}, "AAA="},
      {{0x00, 0x00, 0x00}, "AAAA"},
      {{0x00, 'a', 0x00}, "AGEA"},
      {{0xFF, 0xFF, 0xFF}, "////"},
      {{0xFB, 0xFF}, "+/8="},
      {{0xD6, 0xF7, 0xCD, 0xBC}, "1vfNvA=="},  // 主图 in GBK
  };
  for (const auto& [input, want] : cases) {
    SCOPED_TRACE(testing::PrintToString(input));
    EXPECT_EQ(Base64Encode(input), want);
  }
}

TEST(Base64EncodeTest, ProxyCredentials) {
  EXPECT_EQ(Base64Encode(AsBytes("Aladdin:open sesame")), "QWxhZGRpbjpvcGVuIHNlc2FtZQ==");
}

// Long input stays on one line, and its text is the text of its 3-byte
// groups one after the other, however the encoder divides the work.
TEST(Base64EncodeTest, LongInputIsOneLineOfIndependentGroups) {
  for (const int n : {57, 58, 59, 60, 3 * 4096 - 1, 3 * 4096, 3 * 4096 + 1, 100000}) {
    SCOPED_TRACE(n);
    Bytes input(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
      input[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 7 + i / 256);
    const Text out = Base64Encode(input);
    ASSERT_EQ(out.size(), static_cast<size_t>((n + 2) / 3 * 4));
    EXPECT_EQ(out.find_first_of("\r\n"), Text::npos);
    Text groups;
    for (int i = 0; i < n; i += 3) {
      groups += Base64Encode(
          ByteView(input).subspan(static_cast<size_t>(i), static_cast<size_t>(std::min(3, n - i))));
    }
    EXPECT_EQ(out, groups);
  }
}

}  // namespace
}  // namespace qv
