#include "regex/regex_object.h"

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <algorithm>
#include <climits>
#include <string>
#include <utility>
#include <vector>

#include "core/text_ops.h"
#include "text/codepage.h"
#include "text/text_between.h"

namespace qv {

namespace {

// A text given to Create, decoded once. The download runs two patterns over
// one page, so a Create given the same text again reuses this.
struct Subject {
  Text gbk;
  // GbkToUtf8 writes only well-formed UTF-8 (what is not GBK becomes
  // U+FFFD), so the engine is told to skip its own check of it.
  std::string utf8;
};

}  // namespace

// Everything one Create leaves behind. Offsets are UTF-8 byte offsets into
// the subject; each match takes `stride` of them: start and end of the whole
// match, then start and end of each group (PCRE2_UNSET when it took no part).
struct RegexObject::Result {
  Text pattern;
  bool ok = false;
  std::shared_ptr<const Subject> source;
  std::string_view subject;  // source->utf8
  int groups = 0;
  size_t stride = 2;
  std::vector<size_t> offsets;

  size_t Count() const { return offsets.size() / stride; }
  const size_t* Match(size_t i) const { return offsets.data() + i * stride; }
};

namespace {

// The bytes of subject from begin to end, or empty for an unset or odd pair.
std::string_view Span(std::string_view subject, size_t begin, size_t end) {
  if (begin == PCRE2_UNSET || end == PCRE2_UNSET || begin > end || end > subject.size()) return {};
  return subject.substr(begin, end - begin);
}

struct CodeDeleter {
  void operator()(pcre2_code* p) const { pcre2_code_free(p); }
};
struct CompileContextDeleter {
  void operator()(pcre2_compile_context* p) const { pcre2_compile_context_free(p); }
};
struct MatchDataDeleter {
  void operator()(pcre2_match_data* p) const { pcre2_match_data_free(p); }
};

using CodePtr = std::unique_ptr<pcre2_code, CodeDeleter>;

std::shared_ptr<const Subject> Decode(std::string_view gbk) {
  auto subject = std::make_shared<Subject>();
  subject->gbk = gbk;
  subject->utf8 = GbkToUtf8(gbk);
  return subject;
}

// Bytes of the UTF-8 character that starts with lead.
size_t Utf8CharLength(unsigned char lead) {
  if (lead < 0xC0) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

CodePtr Compile(std::string_view pattern, const RegexOptions& options) {
  std::unique_ptr<pcre2_compile_context, CompileContextDeleter> context(
      pcre2_compile_context_create(nullptr));
  if (!context) return nullptr;
  pcre2_set_newline(context.get(), PCRE2_NEWLINE_LF);
  // UTF mode with the JavaScript-style escapes and classes of the VBScript
  // dialect; \C could split a character, so it is refused.
  uint32_t flags = PCRE2_UTF | PCRE2_ALT_BSUX | PCRE2_MATCH_UNSET_BACKREF |
                   PCRE2_ALLOW_EMPTY_CLASS | PCRE2_DOLLAR_ENDONLY | PCRE2_NEVER_BACKSLASH_C;
  if (!options.caseSensitive) flags |= PCRE2_CASELESS;
  if (options.multiline) flags |= PCRE2_MULTILINE;
  int error = 0;
  PCRE2_SIZE errorOffset = 0;
  CodePtr code(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), flags,
                             &error, &errorOffset, context.get()));
  // Without JIT support this fails and matching runs on the interpreter.
  if (code) pcre2_jit_compile(code.get(), PCRE2_JIT_COMPLETE);
  return code;
}

// Appends to offsets the `stride` offsets of every match of code in subject
// (only the first unless global). False when the search ended in an error
// rather than in "no more matches".
// REQUIRES: subject is well-formed UTF-8.
bool Collect(const pcre2_code* code, bool global, std::string_view subject, size_t stride,
             std::vector<size_t>* offsets) {
  std::unique_ptr<pcre2_match_data, MatchDataDeleter> data(
      pcre2_match_data_create_from_pattern(code, nullptr));
  if (!data) return false;
  const auto subjectData = reinterpret_cast<PCRE2_SPTR>(subject.data());
  const size_t length = subject.size();
  // Every start is on a character boundary of a checked subject.
  const uint32_t flags = PCRE2_NO_UTF_CHECK;
  size_t start = 0;
  while (start <= length) {
    int rc = pcre2_match(code, subjectData, length, start, flags, data.get(), nullptr);
    if (rc == PCRE2_ERROR_JIT_STACKLIMIT) {
      // The JIT keeps a frame per step of some repeats on a small machine
      // stack; the interpreter keeps them on the heap.
      rc = pcre2_match(code, subjectData, length, start, flags | PCRE2_NO_JIT, data.get(), nullptr);
    }
    if (rc == PCRE2_ERROR_NOMATCH) return true;
    if (rc < 0) return false;
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data.get());
    offsets->insert(offsets->end(), ov, ov + stride);
    if (!global) return true;
    // Go on after the match; after an empty one, one character further, so
    // the same empty match is not found again.
    size_t next = std::max<size_t>(ov[1], start);
    if (ov[0] == ov[1] || next == start) {
      if (next >= length) return true;
      next += Utf8CharLength(static_cast<unsigned char>(subject[next]));
    }
    start = std::min(next, length + 1);
  }
  return true;
}

void AppendGroup(std::string_view subject, const size_t* match, int group, std::string* out) {
  out->append(Span(subject, match[2 * group], match[2 * group + 1]));
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Appends replacement for one match, with its $ forms expanded. A $ that
// starts none of them stays as it is.
void AppendExpanded(std::string_view subject, int groups, const size_t* match,
                    std::string_view replacement, std::string* out) {
  const size_t begin = std::min(match[0], subject.size());
  const size_t end = std::min(std::max(match[1], begin), subject.size());
  for (size_t i = 0; i < replacement.size(); ++i) {
    const char c = replacement[i];
    if (c != '$' || i + 1 == replacement.size()) {
      out->push_back(c);
      continue;
    }
    const char n = replacement[i + 1];
    if (n == '$') {
      out->push_back('$');
      ++i;
    } else if (n == '&') {
      AppendGroup(subject, match, 0, out);
      ++i;
    } else if (n == '`') {
      out->append(subject.substr(0, begin));
      ++i;
    } else if (n == '\'') {
      out->append(subject.substr(end));
      ++i;
    } else if (IsDigit(n)) {
      // Two digits when they name a group, else one digit when it does.
      const int one = n - '0';
      const int two = (i + 2 < replacement.size() && IsDigit(replacement[i + 2]))
                          ? one * 10 + (replacement[i + 2] - '0')
                          : -1;
      if (two >= 1 && two <= groups) {
        AppendGroup(subject, match, two, out);
        i += 2;
      } else if (one >= 1 && one <= groups) {
        AppendGroup(subject, match, one, out);
        i += 1;
      } else {
        out->push_back('$');
      }
    } else {
      out->push_back('$');
    }
  }
}

}  // namespace

RegexObject::RegexObject() = default;
RegexObject::RegexObject(std::shared_ptr<const Result> result) : result_(std::move(result)) {}
RegexObject::~RegexObject() = default;
RegexObject::RegexObject(RegexObject&&) noexcept = default;
RegexObject& RegexObject::operator=(RegexObject&&) noexcept = default;

void RegexObject::Destroy() { result_.reset(); }

RegexObject RegexObject::Copy() const { return RegexObject(result_); }

bool RegexObject::Create(std::string_view pattern, std::string_view text,
                         const RegexOptions& options) {
  std::shared_ptr<const Subject> source;
  if (result_ && result_->source && result_->source->gbk == text) source = result_->source;
  result_.reset();
  auto result = std::make_shared<Result>();
  result->pattern =
      options.usePlaceholder ? ReplaceSubtext(pattern, kQuotePlaceholder, "\"") : Text(pattern);
  result->source = source ? std::move(source) : Decode(text);
  result->subject = result->source->utf8;
  CodePtr code = Compile(GbkToUtf8(result->pattern), options);
  if (code) {
    uint32_t captures = 0;
    pcre2_pattern_info(code.get(), PCRE2_INFO_CAPTURECOUNT, &captures);
    result->groups = static_cast<int>(captures);
    result->stride = (static_cast<size_t>(captures) + 1) * 2;
    result->ok =
        Collect(code.get(), options.global, result->subject, result->stride, &result->offsets);
    if (!result->ok) result->offsets.clear();
  }
  result_ = std::move(result);
  return result_->ok;
}

Text RegexObject::GetPattern() const { return result_ ? result_->pattern : Text(); }

Text RegexObject::Replace(std::string_view replacement) const {
  if (!result_ || !result_->ok) return {};
  const Result& r = *result_;
  const std::string utf8Replacement = GbkToUtf8(replacement);
  std::string out;
  out.reserve(r.subject.size());
  size_t copied = 0;
  for (size_t i = 0; i < r.Count(); ++i) {
    const size_t* match = r.Match(i);
    if (match[0] < copied || match[0] > r.subject.size()) continue;
    out.append(r.subject, copied, match[0] - copied);
    AppendExpanded(r.subject, r.groups, match, utf8Replacement, &out);
    copied = std::max(match[0], std::min(match[1], r.subject.size()));
  }
  out.append(r.subject, copied);
  return Utf8ToGbk(out);
}

int RegexObject::MatchCount() const {
  if (!result_) return 0;
  return static_cast<int>(std::min<size_t>(result_->Count(), INT_MAX));
}

Text RegexObject::MatchText(int matchIndex) const {
  if (matchIndex < 1 || matchIndex > MatchCount()) return {};
  const size_t* match = result_->Match(static_cast<size_t>(matchIndex - 1));
  return Utf8ToGbk(Span(result_->subject, match[0], match[1]));
}

Text RegexObject::SubMatchText(int matchIndex, int subIndex) const {
  if (matchIndex < 1 || matchIndex > MatchCount()) return {};
  if (subIndex < 1 || subIndex > result_->groups) return {};
  const size_t* match = result_->Match(static_cast<size_t>(matchIndex - 1));
  return Utf8ToGbk(Span(result_->subject, match[2 * subIndex], match[2 * subIndex + 1]));
}

int RegexObject::SubMatchCount() const { return MatchCount() > 0 ? result_->groups : 0; }

}  // namespace qv
