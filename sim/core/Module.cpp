#include "sim/core/Module.h"

namespace isim {

Module::~Module() = default;

namespace {
std::vector<ModuleRegistry::Entry>& registry() {
  // Function-local so that registration from other files' static initialisers is safe.
  static std::vector<ModuleRegistry::Entry> entries;
  return entries;
}
}  // namespace

bool ModuleRegistry::add(const std::string& typeName, ModuleFactory factory) {
  registry().push_back(Entry{typeName, std::move(factory)});
  return true;
}

const std::vector<ModuleRegistry::Entry>& ModuleRegistry::entries() { return registry(); }

}  // namespace isim
