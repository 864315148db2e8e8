#include "tirrow/text_readers.h"

#include <algorithm>

#include "common/errors.h"
#include "common/regex.h"
#include "common/text.h"

namespace nv::vxlan {

std::optional<std::string> unit_chip_id(std::string_view out) {
  static const Regex kUnit(R"(Unit \d+ chip BCM(?P<chip_id>\d+))");
  if (auto m = kUnit.match(out)) return std::string((*m)["chip_id"]);
  return std::nullopt;
}

std::string chip_family_key(std::string_view chip_id) {
  std::string key(chip_id.substr(0, chip_id.empty() ? 0 : chip_id.size() - 1));
  return key + "X";
}

std::string unknown_unit_message(std::string_view out) {
  return "could not determine the platform\"                     \"from unit string:\n\n" +
         std::string(out) + "\n";
}

std::vector<TrunkLine> trunk_lines(std::string_view out) {
  static const Regex kTrunk(R"(trunk\s+(\d+):\s+\(.+\)=(.+)\s+dlf)");
  std::vector<TrunkLine> trunks;
  for_each_line(out, [&](std::string_view line) {
    auto m = kTrunk.search(line);
    if (!m) return;
    TrunkLine t;
    t.id = std::string(m->group(1));
    for (std::string_view member : split(m->group(2), ",")) t.members.emplace_back(member);
    std::sort(t.members.begin(), t.members.end());
    trunks.push_back(std::move(t));
  });
  return trunks;
}

void for_each_bond_line(std::string_view text, const std::function<void(const BondLine&)>& f) {
  std::vector<std::string_view> fields;
  bool header = true;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    std::string_view line =
        text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    start = end == std::string_view::npos ? text.size() : end + 1;
    if (header) {
      header = false;
      continue;
    }
    words_into(line, fields);
    if (fields.empty()) continue;
    if (fields.size() < 3)
      throw ValueError("need more than " + std::to_string(fields.size()) + " value" +
                       (fields.size() == 1 ? "" : "s") + " to unpack");
    if (fields.size() > 3) throw ValueError("too many values to unpack");
    f(BondLine{std::string(fields[0]), std::string(fields[2])});
  }
}

}  // namespace nv::vxlan
