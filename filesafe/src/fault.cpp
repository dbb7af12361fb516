#include "fault.h"

#include <utility>

namespace filesafe {

namespace {

FaultHook& fault_hook() {
  static FaultHook hook;
  return hook;
}

}  // namespace

void set_fault_hook(FaultHook hook) { fault_hook() = std::move(hook); }

int detail::fault_for(FileStep step) { return fault_hook() ? fault_hook()(step) : 0; }

}  // namespace filesafe
