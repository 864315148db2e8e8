// xgs_tables: the daemon's mroute debug switch, its next-hop-index file and
// the chip test.
#include "common/errors.h"
#include "common/text.h"
#include "xgs_tables/xgs_asic.h"

namespace nv {

namespace {

const char kDebugSwitch[] = "echo 1 > /norvask/kestrad/ctrl/debug";

}  // namespace

bool XgsAsic::get_kestrad_debug(System& sys) {
  std::optional<std::string> out =
      get_cmd_output(sys, {"ls", "/norvask/kestrad/debug/mroute/info"});
  return out && !lines(*out).empty();
}

void XgsAsic::enable_kestrad_debug() {
  if (!need(kestrad_debug_enabled, "kestrad_debug_enabled") &&
      !need(nq_mroute_kestrad_debug_enabled, "nq_mroute_kestrad_debug_enabled"))
    system().shell(kDebugSwitch);
  nq_mroute_kestrad_debug_enabled = true;
}

void XgsAsic::disable_kestrad_debug() {
  // The same "1" switches it off again; output that was on before we
  // started is left alone.
  if (!need(kestrad_debug_enabled, "kestrad_debug_enabled") &&
      need(nq_mroute_kestrad_debug_enabled, "nq_mroute_kestrad_debug_enabled"))
    system().shell(kDebugSwitch);
  nq_mroute_kestrad_debug_enabled = false;
}

void XgsAsic::parse_l3_intf_nhi() {
  enable_kestrad_debug();
  try {
    std::string out = command_output("cat /norvask/kestrad/debug/mroute/info");
    IntMap& table = need(l3_intf_nhi, "l3_intf_nhi");
    std::vector<std::string_view> w;
    for_each_line(out, [&](std::string_view line) {
      if (!contains(line, "nhi")) return;
      words_into(line, w);
      // Lines too short to hold the next-hop index carry no mapping.
      if (w.size() <= 5) return;
      long nhi = parse_int(w[5], 10);
      long intf = parse_int(w[1], 10);
      table.insert_or_assign(nhi, intf);
    });
  } catch (...) {
    // Leave the daemon as we found it; the read's own error is what the
    // caller sees.
    try {
      disable_kestrad_debug();
    } catch (...) {
    }
    throw;
  }
  disable_kestrad_debug();
}

bool XgsAsic::is_1G_chip() {
  ShellOutput out = run_guarded("show unit", "show unit timed out");
  return contains(out.text, "56340");
}

}  // namespace nv
