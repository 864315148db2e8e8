// yselde: the port map, from "ps".
#include "common/errors.h"
#include "common/text.h"
#include "yselde/dnx_asic.h"

namespace nv {

void DnxAsic::parse_portmap() {
  ShellOutput out = run_guarded("ps", "ps command timed out");
  LineCursor lines(out.text);
  std::string_view header, row;
  if (!lines.next(header) || !lines.next(row) || contains(header, "Error"))
    throw RuntimeError("ps command is not supported on this chip");

  Portmap& table = need(portmap, "portmap");
  // Two heading lines, then one port per row: its name, kept as the row
  // has it (leading blanks too), then its logical port in parentheses.
  while (lines.next(row)) {
    const size_t open = row.find_first_of("()");
    if (open == std::string_view::npos) throw IndexError();
    const std::string_view dport = row.substr(0, open);
    const size_t close = row.find_first_of("()", open + 1);
    const std::string_view number =
        row.substr(open + 1, close == std::string_view::npos ? close : close - open - 1);
    long logical_port = parse_int(number, 10);
    std::optional<std::string> linux_port;
    try {
      linux_port = linux_name(dport);
    } catch (const std::exception&) {
      // A port the port table does not know keeps no Linux name.
    }
    table.emplace_back(std::string(dport), logical_port, std::move(linux_port));
  }
}

}  // namespace nv
