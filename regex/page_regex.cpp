#include "regex/page_regex.h"

#include <optional>

#include "core/fatal.h"

namespace qv {
namespace {

std::optional<RegexObject>& Instance() {
  static std::optional<RegexObject> instance;
  return instance;
}

}  // namespace

void ConstructPageRegex() {
  if (Instance()) RuntimeErrorStop("PageRegex constructed twice", "ConstructPageRegex");
  Instance().emplace();
}

bool DestroyPageRegex() {
  if (!Instance()) return false;
  Instance()->Destroy();
  Instance().reset();
  return true;
}

RegexObject& PageRegex() {
  if (!Instance()) RuntimeErrorStop("PageRegex used while it does not exist", "PageRegex");
  return *Instance();
}

}  // namespace qv
