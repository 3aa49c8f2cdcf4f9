// Converting between encodings on glibc iconv, never failing.
//
// A sequence that is not valid in the source encoding becomes U+FFFD, one per
// invalid byte (one per invalid unit for UTF-16); a valid character that the
// target cannot hold becomes one replacement too. In GBK, which has no
// U+FFFD, both become "?". Runs of ASCII are copied without iconv when both
// sides are ASCII-compatible, which is most of a web page.
//
// Thread-safe: each thread keeps its own iconv descriptors.
#ifndef QV_TEXT_ICONV_CONVERTER_H_
#define QV_TEXT_ICONV_CONVERTER_H_

#include <string>
#include <string_view>

namespace qv {

enum class Encoding { kGbk, kUtf8, kUtf16Le };

// The bytes of `in`, read in `from`, written in `to`.
std::string ConvertEncoding(std::string_view in, Encoding from, Encoding to);

// Number of UTF-16 units that `in`, read as GBK, decodes to.
size_t GbkUtf16Units(std::string_view in);

}  // namespace qv

#endif  // QV_TEXT_ICONV_CONVERTER_H_
