// The program's one RegexObject, which every pattern run of the download
// re-creates in place.
//
// Start-up calls ConstructPageRegex before the window opens; ExitCleanup
// calls DestroyPageRegex. One download uses it at a time, on whichever
// thread runs that download.
#ifndef QV_REGEX_PAGE_REGEX_H_
#define QV_REGEX_PAGE_REGEX_H_

#include "regex/regex_object.h"

namespace qv {

// Makes the instance. REQUIRES: it does not exist yet (it may have been
// destroyed before); otherwise the program stops through RuntimeErrorStop.
void ConstructPageRegex();

// Destroys the instance. True when it did; false, doing nothing, when there
// was none, so a second call at exit is harmless.
bool DestroyPageRegex();

// The instance. REQUIRES: constructed and not destroyed; otherwise the
// program stops through RuntimeErrorStop.
RegexObject& PageRegex();

}  // namespace qv

#endif  // QV_REGEX_PAGE_REGEX_H_
