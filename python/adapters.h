// The core's outside interfaces implemented over the host's objects: the
// diagnostic-shell client, the port table, the VRF database, standard
// output and class-level name lists.
#pragma once

#include <memory>
#include <string>

#include "mcast_core/services.h"
#include "python/object.h"

namespace py {

// Every adapter keeps the interpreter object it stands for.
class Wrapped {
 public:
  explicit Wrapped(Object o) : object_(std::move(o)) {}
  virtual ~Wrapped() = default;
  const Object& object() const { return object_; }

 private:
  Object object_;
};

// The object behind an adapter, or None.
template <class I>
Object object_of(const std::shared_ptr<I>& adapter) {
  if (auto* w = dynamic_cast<const Wrapped*>(adapter.get())) return w->object();
  return Object::none();
}

std::shared_ptr<nv::DiagShell> diag_shell(Object client);
std::shared_ptr<nv::PortTable> port_table(Object table);
std::shared_ptr<nv::NameSet> name_set(Object names);
std::shared_ptr<nv::VrfDb> vrf_db(Object db);
// Writes go to whatever sys.stdout is at the time of the write.
std::shared_ptr<nv::Console> sys_stdout();
// A list found as attribute `name` of `holder` each time it is used.
std::shared_ptr<nv::DeviceList> attribute_list(Object holder, std::string name);

}  // namespace py
