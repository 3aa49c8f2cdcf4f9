// Reading a decimal number out of text.
#ifndef QV_CORE_NUMBER_H_
#define QV_CORE_NUMBER_H_

#include <string_view>

namespace qv {

// The decimal number at the start of t: white space skipped, an optional
// sign, then digits up to the first other character; 0 when there are no
// digits. GBK full-width forms of ASCII (A3 A1..A3 FE) and the full-width
// space (A1 A1) count as their ASCII forms. Values beyond 32 bits saturate.
int ToInt(std::string_view t);

}  // namespace qv

#endif  // QV_CORE_NUMBER_H_
