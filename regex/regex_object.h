// A regular expression run once over one text, with its matches kept for
// later reading.
//
// Create compiles a pattern (GBK text) on PCRE2 and collects every match of
// it in the text (GBK), in text order. The reading operations then look at
// that result without searching again, until the next Create replaces it.
// Matching happens on Unicode: the pattern and the text are decoded from GBK,
// and every text handed back is encoded to GBK again, so a range such as
// \u4e00-\u9fa5 applies to the Unicode characters of the GBK text, and bytes
// that are not valid GBK come back as "?".
//
// The pattern language is PCRE2 with the escapes of the VBScript/JavaScript
// dialect (\uhhhh is a code point, \U a plain U). A dot matches anything but
// a line feed; in multi-line mode ^ and $ match at every line feed.
//
// Nothing here fails loudly: a pattern that does not compile (or a search
// that exceeds the engine's limits) makes Create return false and leaves no
// matches; an index out of range gives the empty text. Indexes are 1-based.
//
// Not thread-safe: one object belongs to one thread at a time. Results of a
// Copy are independent of later Creates on either object.
#ifndef QV_REGEX_REGEX_OBJECT_H_
#define QV_REGEX_REGEX_OBJECT_H_

#include <memory>
#include <string_view>

#include "core/types.h"

namespace qv {

// How Create searches. A field left alone takes the default shown.
struct RegexOptions {
  bool caseSensitive = false;   // false: letters match regardless of case
  bool multiline = true;        // ^ and $ match at line feeds as well
  bool global = true;           // false: only the first match is collected
  bool usePlaceholder = false;  // every kQuotePlaceholder in the pattern means '"'
};

class RegexObject {
 public:
  // An object with no pattern and no matches.
  RegexObject();
  ~RegexObject();

  RegexObject(RegexObject&&) noexcept;
  RegexObject& operator=(RegexObject&&) noexcept;
  // Copies are made with Copy, so that each one is made on purpose.
  RegexObject(const RegexObject&) = delete;
  RegexObject& operator=(const RegexObject&) = delete;

  // Drops the pattern, the text and the matches: the object is as newly
  // constructed. Calling it again does nothing.
  void Destroy();

  // A new object with this one's pattern, text and matches.
  RegexObject Copy() const;

  // Compiles pattern and collects its matches in text, replacing what an
  // earlier Create left. True when the pattern compiled and the search ran,
  // also when nothing matched; false (and no matches) otherwise.
  bool Create(std::string_view pattern, std::string_view text, const RegexOptions& options = {});

  // The pattern of the last Create, placeholders already turned into double
  // quotes, also when it did not compile; empty before the first Create.
  Text GetPattern() const;

  // The text of the last Create with each collected match replaced by
  // replacement, in which $1..$99 stand for a group, $& for the match, $`
  // and $' for the text before and after it, and $$ for a dollar sign. Empty
  // when the last Create failed or there was none.
  Text Replace(std::string_view replacement = {}) const;

  // Number of matches of the last Create; 0 after a failed one. Cheap.
  int MatchCount() const;

  // The text of match matchIndex (1 to MatchCount), else empty.
  Text MatchText(int matchIndex) const;

  // The text of group subIndex (1 is the first parenthesised group) of match
  // matchIndex. Empty when either index is out of range or the group took
  // no part in the match.
  Text SubMatchText(int matchIndex, int subIndex) const;

  // The number of groups in the pattern; 0 when there is no match.
  int SubMatchCount() const;

 private:
  struct Result;
  explicit RegexObject(std::shared_ptr<const Result> result);

  // What the last Create left; null before the first one. Never changed
  // once made, so copies share it.
  std::shared_ptr<const Result> result_;
};

}  // namespace qv

#endif  // QV_REGEX_REGEX_OBJECT_H_
