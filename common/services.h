// The outside components the checker talks to, as the core sees them.  The
// binding layer implements them over the host's objects; tests use fakes.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "common/value.h"

namespace nv {

// Text of a shell reply, with whatever owns its bytes, so that a reply can
// be read without copying it.  The owner is let go through `release` when
// the output is dropped; a reply with no owner is text that outlives it.
// A reader asks for thousands of replies, and none costs an allocation.
class ShellOutput {
 public:
  using Release = void (*)(void*);

  ShellOutput() = default;
  explicit ShellOutput(std::string_view text) : text(text) {}
  ShellOutput(std::string_view text, void* owner, Release release)
      : text(text), owner_(owner), release_(release) {}
  ShellOutput(ShellOutput&& o) noexcept : text(o.text), owner_(o.owner_), release_(o.release_) {
    o.release_ = nullptr;
  }
  ShellOutput& operator=(ShellOutput&& o) noexcept {
    if (this != &o) {
      drop();
      text = o.text;
      owner_ = o.owner_;
      release_ = o.release_;
      o.release_ = nullptr;
    }
    return *this;
  }
  ShellOutput(const ShellOutput&) = delete;
  ShellOutput& operator=(const ShellOutput&) = delete;
  ~ShellOutput() { drop(); }

  static ShellOutput of(std::string s) {
    auto* owned = new std::string(std::move(s));
    return ShellOutput(*owned, owned, [](void* p) { delete static_cast<std::string*>(p); });
  }

  std::string_view text;

 private:
  void drop() {
    if (release_) release_(owner_);
    release_ = nullptr;
  }
  void* owner_ = nullptr;
  Release release_ = nullptr;
};

class DiagShell {
 public:
  virtual ~DiagShell() = default;
  // One diagnostic-shell command.  A time-out of the client raises
  // ShellTimeout; any other failure passes through as the client's own.
  virtual ShellOutput run(const std::string& cmd) = 0;
  // gettable(table, fields=True, start=start, entries=entries)[row][field],
  // which must be an integer.  Nothing of it is guarded.
  virtual long gettable_int(const std::string& table, long start, long entries, size_t row,
                            const std::string& field) = 0;
};

// A collection of names that answers membership.
class NameSet {
 public:
  virtual ~NameSet() = default;
  virtual bool contains(const std::string& name) = 0;
};

class PortTable {
 public:
  virtual ~PortTable() = default;
  virtual std::shared_ptr<NameSet> get_linux_ports() = 0;
  // ASIC port name to Linux port name; raises for a port it does not know.
  virtual std::string bcm2linux(const std::string& dport) = 0;
  // Logical port number to ASIC port name; raises for a number it does not know.
  virtual std::string logical2dport(long logical_port) = 0;
};

class VrfDb {
 public:
  virtual ~VrfDb() = default;
  virtual std::string vrf_id2name(long vrf_id) = 0;
};

// The host's standard output.
class Console {
 public:
  virtual ~Console() = default;
  virtual void write(std::string_view text) = 0;
};

// A list of device names shared by every checker of the process.
class DeviceList {
 public:
  virtual ~DeviceList() = default;
  virtual void append(const std::string& name) = 0;
  virtual bool contains(const std::string& name) = 0;
};

// The host's object that checks the routes of a switch pair itself (the
// route comparison's `ul_mcast`); what it returns or raises reaches the
// host unchanged.
class PeerChecks {
 public:
  virtual ~PeerChecks() = default;
  // `asic` is the checker itself, as the host holds it.
  virtual Value check_orig_mroute(const Value& asic, const Value& src, const Value& grp) = 0;
  virtual Value check_term_mroute(const Value& src, const Value& grp) = 0;
};

// Makes the three outside objects of a checker, in construction order.
class ServiceFactory {
 public:
  virtual ~ServiceFactory() = default;
  virtual std::shared_ptr<PortTable> make_port_table() = 0;
  virtual std::shared_ptr<VrfDb> make_vrf_db() = 0;
  virtual std::shared_ptr<DiagShell> make_shell() = 0;
};

}  // namespace nv
