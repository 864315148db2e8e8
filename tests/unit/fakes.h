// Stand-ins for the outside components, for driving the chips' checkers in
// tests.
#pragma once

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/errors.h"
#include "xgs_tables/xgs_asic.h"
#include "yselde/dnx_asic.h"

namespace nvtest {

// Everything the fakes were asked, in order, across all of them.
using Log = std::vector<std::string>;

// Answers commands from a map (unknown commands answer empty text), records
// them, and times out on the chosen ones.
struct FakeShell : nv::DiagShell {
  explicit FakeShell(std::shared_ptr<Log> log) : log(std::move(log)) {}

  nv::ShellOutput run(const std::string& cmd) override {
    commands.push_back(cmd);
    log->push_back("run " + cmd);
    if (timeouts.count(cmd)) throw nv::ShellTimeout(nullptr, "timed out");
    auto it = answers.find(cmd);
    return nv::ShellOutput::of(it == answers.end() ? std::string() : it->second);
  }

  long gettable_int(const std::string& table, long start, long entries, size_t row,
                    const std::string& field) override {
    log->push_back("gettable " + table + " " + std::to_string(start) + " " +
                   std::to_string(entries) + " " + std::to_string(row) + " " + field);
    ++gettable_calls;
    if (gettable_failures > 0) {
      --gettable_failures;
      throw nv::ForeignError(nullptr, "gettable failed");
    }
    return l3_iif.at({table, start});
  }

  std::shared_ptr<Log> log;
  std::map<std::string, std::string> answers;
  std::set<std::string> timeouts;
  std::vector<std::string> commands;
  std::map<std::pair<std::string, long>, long> l3_iif;  // (table, VLAN) -> L3_IIF
  int gettable_calls = 0;
  int gettable_failures = 0;
};

struct FakeNameSet : nv::NameSet {
  bool contains(const std::string& name) override { return names.count(name) != 0; }
  std::set<std::string> names;
};

// ASIC port to Linux port; ports it does not know raise the host's error.
struct FakePortTable : nv::PortTable {
  explicit FakePortTable(std::shared_ptr<Log> log) : log(std::move(log)) {}

  std::shared_ptr<nv::NameSet> get_linux_ports() override {
    log->push_back("get_linux_ports");
    return linux_ports;
  }
  std::string bcm2linux(const std::string& dport) override {
    log->push_back("bcm2linux " + dport);
    asked.push_back(dport);
    auto it = names.find(dport);
    if (it == names.end()) throw nv::ForeignError(nullptr, "unknown port " + dport);
    return it->second;
  }
  std::string logical2dport(long n) override {
    log->push_back("logical2dport " + std::to_string(n));
    auto it = dports.find(n);
    if (it == dports.end()) throw nv::ForeignError(nullptr, "unknown logical port");
    return it->second;
  }

  std::shared_ptr<Log> log;
  std::map<std::string, std::string> names;
  std::map<long, std::string> dports;  // logical port -> ASIC port
  std::vector<std::string> asked;
  std::shared_ptr<FakeNameSet> linux_ports = std::make_shared<FakeNameSet>();
};

struct FakeVrfDb : nv::VrfDb {
  explicit FakeVrfDb(std::shared_ptr<Log> log) : log(std::move(log)) {}
  std::string vrf_id2name(long id) override {
    log->push_back("vrf_id2name " + std::to_string(id));
    auto it = names.find(id);
    if (it == names.end()) throw nv::ForeignError(nullptr, "no vrf");
    return it->second;
  }
  std::shared_ptr<Log> log;
  std::map<long, std::string> names{{0, "default"}, {1, "red"}, {16, "blue"}};
};

// Programs answer by their argument list joined with blanks.  Unknown
// programs exit with a failure status; `missing` ones cannot be started.
struct FakeSystem : nv::System {
  explicit FakeSystem(std::shared_ptr<Log> log) : log(std::move(log)) {}

  std::optional<std::string> capture(const std::vector<std::string>& argv) override {
    std::string line;
    for (const auto& a : argv) line += (line.empty() ? "" : " ") + a;
    log->push_back("capture " + line);
    if (missing.count(line)) throw nv::OSError(ENOENT, "No such file or directory");
    auto it = programs.find(line);
    if (it == programs.end()) return std::nullopt;
    return it->second;
  }
  int shell(const std::string& line) override {
    log->push_back("shell " + line);
    shell_lines.push_back(line);
    return 0;
  }
  bool is_file(const std::string& path) override { return files.count(path) != 0; }
  bool is_dir(const std::string&) override { return false; }
  std::string read_file(const std::string& path) override {
    auto it = files.find(path);
    if (it == files.end()) throw nv::Error(nv::ErrorKind::IO, "No such file or directory");
    return it->second;
  }
  std::vector<std::string> list_dir(const std::string&) override {
    throw nv::OSError(ENOENT, "No such file or directory");
  }

  std::shared_ptr<Log> log;
  std::map<std::string, std::optional<std::string>> programs;
  std::set<std::string> missing;
  std::map<std::string, std::string> files;
  std::vector<std::string> shell_lines;
};

struct FakeConsole : nv::Console {
  void write(std::string_view text) override { writes.emplace_back(text); }
  std::vector<std::string> writes;
};

struct FakeDeviceList : nv::DeviceList {
  void append(const std::string& name) override { names.push_back(name); }
  bool contains(const std::string& name) override {
    for (const auto& n : names)
      if (n == name) return true;
    return false;
  }
  std::vector<std::string> names{"lo"};
};

struct FakeServices : nv::ServiceFactory {
  std::shared_ptr<nv::PortTable> make_port_table() override {
    log->push_back("make_port_table");
    return pt;
  }
  std::shared_ptr<nv::VrfDb> make_vrf_db() override {
    log->push_back("make_vrf_db");
    return vrf;
  }
  std::shared_ptr<nv::DiagShell> make_shell() override {
    log->push_back("make_shell");
    return shell;
  }
  std::shared_ptr<Log> log;
  std::shared_ptr<FakePortTable> pt;
  std::shared_ptr<FakeVrfDb> vrf;
  std::shared_ptr<FakeShell> shell;
};

// The fakes of one checker, wired into one factory and one log.
struct Fakes {
  Fakes() {
    services.log = log;
    services.pt = pt;
    services.vrf = vrf;
    services.shell = shell;
  }

  // What construction gives a checker first: its outside objects.
  void outside(nv::Asic& asic) {
    asic.pt = pt;
    asic.vrf_db = vrf;
    asic.bcm = shell;
  }

  // Log entries that start with `prefix`, without it.
  std::vector<std::string> logged(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& l : *log)
      if (l.compare(0, prefix.size(), prefix) == 0) out.push_back(l.substr(prefix.size()));
    return out;
  }

  std::shared_ptr<Log> log = std::make_shared<Log>();
  std::shared_ptr<FakeShell> shell = std::make_shared<FakeShell>(log);
  std::shared_ptr<FakePortTable> pt = std::make_shared<FakePortTable>(log);
  std::shared_ptr<FakeVrfDb> vrf = std::make_shared<FakeVrfDb>(log);
  std::shared_ptr<FakeSystem> sys = std::make_shared<FakeSystem>(log);
  std::shared_ptr<FakeConsole> console = std::make_shared<FakeConsole>();
  std::shared_ptr<FakeDeviceList> orig_dev = std::make_shared<FakeDeviceList>();
  FakeServices services;
};

// One XGS checker with its fakes.  bare() gives it what construction would
// have set up, with empty tables and no command run, so a single reader or
// lookup can be driven alone.
struct Rig : Fakes {
  void bare(bool riot = false) {
    outside(asic);
    asic.kestrad_debug_enabled = false;
    asic.nq_mroute_kestrad_debug_enabled = false;
    asic.portmap.emplace();
    asic.l3_intfs.emplace();
    asic.vlan_xlate.emplace();
    asic.vlan_riot.emplace();
    asic.riot_enable = riot;
    asic.vlan_riot_memtable = riot ? "VLAN" : "";
    if (riot) asic.l3_intf_nhi.emplace();
    asic.vlans.emplace();
    asic.replication_groups.emplace();
    asic.mroutes.emplace();
  }

  void construct(bool use_mem_table = false) { asic.construct(services, use_mem_table); }

  nv::XgsAsic asic{nv::Asic::Env{sys, console, orig_dev}};
};

// The same for a DNX checker.
struct DnxRig : Fakes {
  void bare() {
    outside(asic);
    asic.vlans.emplace();
    asic.portmap.emplace();
    asic.mroutes.emplace();
    asic.diag_dbal = false;
    asic.replication_groups.emplace();
  }

  void construct() { asic.construct(services); }

  nv::DnxAsic asic{nv::Asic::Env{sys, console, orig_dev}};
};

// Runs f and gives the nv::Error it raises; fails the test when it raises
// nothing or something else.
template <class F>
nv::Error error_of(F&& f) {
  try {
    f();
  } catch (const nv::Error& e) {
    return e;
  } catch (const std::exception& e) {
    ADD_FAILURE() << "unexpected exception: " << e.what();
    return nv::Error(nv::ErrorKind::Exception, e.what());
  }
  ADD_FAILURE() << "no exception";
  return nv::Error(nv::ErrorKind::Exception, "none");
}

inline std::string describe(nv::ErrorKind kind, const std::string& message) {
  static const char* const names[] = {"Runtime", "IO",        "OS",     "Key",
                                      "Value",   "Index",     "Type",   "Attribute",
                                      "Struct",  "Exception"};
  return std::string(names[static_cast<int>(kind)]) + ": " + message;
}
inline std::string describe(const nv::Error& e) { return describe(e.kind(), e.message()); }

// Expects stmt to raise nv::Error of that kind and text; takes a streamed
// message like the other EXPECT macros.
#define EXPECT_NV_ERROR(stmt, kind_, text_)                        \
  EXPECT_EQ(::nvtest::describe(::nvtest::error_of([&] { stmt; })), \
            ::nvtest::describe(kind_, text_))

}  // namespace nvtest
