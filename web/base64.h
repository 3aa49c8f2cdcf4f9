// Base64 text of a byte buffer (RFC 4648, section 4), used for the value of
// a Basic authorisation header.
#ifndef QV_WEB_BASE64_H_
#define QV_WEB_BASE64_H_

#include "core/bytes_ops.h"
#include "core/types.h"

namespace qv {

// bytes in the standard alphabet with "=" padding, on one line however long;
// zero bytes are encoded like any other. Empty input gives empty text.
Text Base64Encode(ByteView bytes);

}  // namespace qv

#endif  // QV_WEB_BASE64_H_
