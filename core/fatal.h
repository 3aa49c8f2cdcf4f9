// The one stop for programming errors and memory exhaustion.
//
// RuntimeErrorStop reports what went wrong and where, then ends the process
// with exit status -1 (255). It never returns. No input reaches it: callers
// use it only for broken invariants such as an index out of range.
#ifndef QV_CORE_FATAL_H_
#define QV_CORE_FATAL_H_

#include <string_view>

namespace qv {

// Shows the report to the user before the process ends. The default prints
// to stderr; a front end with a window may install one that shows a box.
using FatalReporter = void (*)(std::string_view message);
void SetFatalReporter(FatalReporter reporter);

[[noreturn]] void RuntimeErrorStop(std::string_view what, std::string_view where);

// Prepares the core for the program: a failed memory request now ends in
// RuntimeErrorStop instead of an exception nobody catches.
void InitCore();

}  // namespace qv

#endif  // QV_CORE_FATAL_H_
