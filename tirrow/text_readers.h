// tirrow: the text the VXLAN checker reads outside its YAML dump: the chip
// line of "show unit", the trunk lines of "trunk show" and the daemon's bond
// file.  Plain text rules, no interpreter.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nv::vxlan {

// The chip id (the digits after "BCM") of a "show unit" output that begins
// with a unit line; none otherwise.  Only the start of the output counts.
std::optional<std::string> unit_chip_id(std::string_view out);

// The family key of a chip id: the id with its last character replaced by
// "X" (a one-character id gives "X" alone).
std::string chip_family_key(std::string_view chip_id);

// The message of the failure to identify the chip, quoting the whole output.
std::string unknown_unit_message(std::string_view out);

// One trunk of "trunk show": its id as written (decimal digits) and its
// member ports, split at every "," and sorted in text order.
struct TrunkLine {
  std::string id;
  std::vector<std::string> members;
};

// The trunks of "trunk show" in line order; lines that describe no trunk
// with members are left out.
std::vector<TrunkLine> trunk_lines(std::string_view out);

// One line of the bond file: the Linux bond name and the bond id as written.
struct BondLine {
  std::string name;
  std::string id;
};

// Calls f for each line of the bond file after its header, in order.  Lines
// break at LF only (the file is read line by line); a line of white space
// only is skipped.  A line of other than three words raises ValueError with
// the interpreter's unpacking message, after f has seen the lines before it.
void for_each_bond_line(std::string_view text, const std::function<void(const BondLine&)>& f);

}  // namespace nv::vxlan
