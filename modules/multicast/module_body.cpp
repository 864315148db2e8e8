#include "modules/multicast/module_body.h"

#include "python/module.h"

namespace nv::binding {

void import_modules(PyObject* module) {
  py::Imports(module)
      .import({"json", "os", "re", "socket", "struct", "subprocess", "sys"})
      .import("norvask.quillon")
      .import("norvask.stavren")
      .import_or_none("dolmish");
}

py::OutsideMakers outside_makers(std::vector<std::pair<std::string, py::Object>> shell_keywords) {
  return py::OutsideMakers{{{"norvask", "quillon", "quillon"}, {}},
                           {{"norvask", "stavren", "VrfDb"}, {}},
                           {{"dolmish", "dolmish"}, std::move(shell_keywords)}};
}

}  // namespace nv::binding
