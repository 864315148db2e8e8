// Export of the VXLAN checker's class to the host interpreter.
#pragma once

#include "python/object.h"

namespace nv::binding {

// The class Asic; its objects find the outside modules among the module's
// globals at each use.
void export_vxlan_asic(const py::Object& module);

}  // namespace nv::binding
