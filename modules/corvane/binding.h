// Export of the XGS multicast checker's classes to the host interpreter.
#pragma once

#include "python/adapters.h"
#include "python/object.h"

namespace nv::binding {

// The six hardware records, in the module's order.
void export_hw_records(const py::Object& module);
// The checker class; its constructor finds the outside modules among the
// module's globals when it runs.
void export_asic(const py::Object& module, const py::OutsideMakers& makers);

}  // namespace nv::binding
