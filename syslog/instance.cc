#include "instance.h"

#include <cstring>
#include <set>

#include "vesk_log.h"

namespace vesk_sys {
namespace {

tag_VESK2_SYSLOG gs_instance = {{'V', 'E', 'S', 'K', '\0'},  "", 3,   8,   0x7F,
                                Vesk_Log::kDefaultTidFormat, 0,  "[", "] "};

// Never destroyed, so that an entry point called from another library's
// destructor at exit still finds it.
std::set<const tag_VESK2_SYSLOG*>& Registry() {
  static auto* registry = new std::set<const tag_VESK2_SYSLOG*>();
  return *registry;
}

}  // namespace

void VESK2_InstanceValidSet(tag_VESK2_SYSLOG* instance) { std::memcpy(instance->id, "VESK", 5); }

void VESK2_InstanceValidUnSet(tag_VESK2_SYSLOG* instance) { std::memcpy(instance->id, "DEAD", 5); }

tag_VESK2_SYSLOG* GlobalInstance() { return &gs_instance; }

void RegisterInstance(tag_VESK2_SYSLOG* instance) { Registry().insert(instance); }

void UnregisterInstance(tag_VESK2_SYSLOG* instance) { Registry().erase(instance); }

bool IsAlive(const tag_VESK2_SYSLOG* instance) {
  if (instance == nullptr) return false;
  if (instance != &gs_instance && Registry().count(instance) == 0) return false;
  return std::memcmp(instance->id, "VESK", 5) == 0;
}

}  // namespace vesk_sys
