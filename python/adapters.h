// The core's outside interfaces implemented over the host's objects: the
// diagnostic-shell client, the port table, the VRF database, standard
// output and class-level name lists.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/services.h"
#include "python/convert.h"
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

// How a module makes one of its outside objects: the class found from one of
// the module's globals through a chain of attributes ({"os", "path",
// "join"} is os.path.join), called with these keywords only.
struct Maker {
  std::vector<std::string> path;
  std::vector<std::pair<std::string, Object>> keywords;
};

// The checker's three outside objects, each made when the core asks for it
// from whatever the module's globals hold at that time.
struct OutsideMakers {
  Maker port_table, vrf_db, shell;
};
std::shared_ptr<nv::ServiceFactory> services_from_globals(Object globals, OutsideMakers makers);

// The host's checks as a method's argument, for the call: that object,
// whatever it is; only its calls can fail.  Made in the call's own
// argument storage.
class PeerArg final : public nv::PeerChecks, public Wrapped {
 public:
  using Wrapped::Wrapped;
  nv::Value check_orig_mroute(const nv::Value& asic, const nv::Value& src,
                              const nv::Value& grp) override;
  nv::Value check_term_mroute(const nv::Value& src, const nv::Value& grp) override;
};
template <>
struct Convert<nv::PeerChecks> {
  static PeerArg from(PyObject* o) { return PeerArg(Object::borrow(o)); }
};

}  // namespace py
