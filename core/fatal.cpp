#include "core/fatal.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

namespace qv {
namespace {

void PrintToStderr(std::string_view message) {
  std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
  std::fflush(stderr);
}

std::atomic<FatalReporter> g_reporter{&PrintToStderr};

// Builds no string: the memory that would need is what just ran out.
void OnOutOfMemory() {
  g_reporter.load()("Fatal error: out of memory (in a memory request)");
  std::_Exit(-1);
}

}  // namespace

void SetFatalReporter(FatalReporter reporter) {
  g_reporter.store(reporter ? reporter : &PrintToStderr);
}

void RuntimeErrorStop(std::string_view what, std::string_view where) {
  std::string message = "Fatal error: ";
  message.append(what).append(" (in ").append(where).append(")");
  g_reporter.load()(message);
  std::_Exit(-1);
}

void InitCore() { std::set_new_handler(&OnOutOfMemory); }

}  // namespace qv
