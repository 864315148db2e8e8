// xgs_tables: the multicast replication groups of "multicast show".
#include <cstring>

#include "common/errors.h"
#include "common/text.h"
#include "xgs_tables/xgs_asic.h"

namespace nv {

namespace {

bool has_at(std::string_view text, size_t at, std::string_view lit) {
  return text.size() - at >= lit.size() && std::memcmp(text.data() + at, lit.data(), lit.size()) == 0;
}

// The member line pattern \s+port (?P<port>\S+), encap id (?P<intf>[+-]?\d+)
// matched at the start of the line, by hand: it runs on every member line.
// The leading \s+ must take all the white space, since "port" does not start
// with any.  The greedy \S+ takes the whole run of non-space bytes and can
// only give back its last byte, the comma: the blank after the comma must be
// the byte that ends the run.  \s is the six white-space bytes and \d the ten
// ASCII digits, as in the interpreter's re.  The number is read on the way
// when it has at most 18 digits (`read`); a longer one is left to parse_int.
bool match_member(std::string_view line, std::string_view& port, std::string_view& intf_text,
                  long& intf, bool& read) {
  static constexpr std::string_view kPort = "port ", kEncap = " encap id ";
  const size_t n = line.size();
  size_t i = 0;
  while (i < n && is_space(line[i])) ++i;
  if (i == 0 || !has_at(line, i, kPort)) return false;
  const size_t b = i + kPort.size();
  size_t k = b;
  while (k < n && !is_space(line[k])) ++k;
  if (k - b < 2 || line[k - 1] != ',' || !has_at(line, k, kEncap)) return false;
  const size_t m = k + kEncap.size();
  size_t d = m;
  const bool negative = d < n && line[d] == '-';
  if (d < n && (line[d] == '+' || line[d] == '-')) ++d;
  size_t e = d;
  unsigned long v = 0;
  for (; e < n && static_cast<unsigned char>(line[e] - '0') < 10; ++e)
    v = v * 10 + static_cast<unsigned char>(line[e] - '0');
  if (e == d) return false;
  port = line.substr(b, k - 1 - b);
  intf_text = line.substr(m, e - m);
  read = e - d <= 18;
  if (read) intf = negative ? -static_cast<long>(v) : static_cast<long>(v);
  return true;
}

}  // namespace

void XgsAsic::parse_multicast_repln_groups() {
  ReadScope read(*this);
  ShellOutput out = run_guarded("multicast show", "multicast show");
  static constexpr std::string_view kCut = "Group";
  std::string_view text = out.text;
  // Every "Group" starts a piece, even inside a line; text before the first
  // one is not a group.
  const bool no_cr = !contains(text, "\r");
  std::vector<std::string_view> pieces;
  size_t at = text.find(kCut);
  while (at != std::string_view::npos) {
    size_t begin = at + kCut.size();
    size_t next = text.find(kCut, begin);
    size_t end = next == std::string_view::npos ? text.size() : next;
    pieces.push_back(text.substr(begin, end - begin));
    at = next;
  }
  // The table is sized once for every group rather than grown by
  // rehashing; a missing table is the first group's error, as before.
  if (replication_groups) replication_groups->reserve(replication_groups->size() + pieces.size());
  for (std::string_view piece : pieces) read_repln_group(piece, no_cr);
}

void XgsAsic::parse_one_multicast_repln_group(std::string_view piece) {
  ReadScope read(*this);
  read_repln_group(piece, !contains(piece, "\r"));
}

void XgsAsic::read_repln_group(std::string_view piece, bool no_cr) {
  LineCursor lines(piece, no_cr);
  std::string_view head;
  if (!lines.next(head) || contains(head, "L2")) return;
  // "Group" at the end of a line leaves a head without an id: no group.
  std::string_view id_word = first_word(head);
  if (id_word.empty()) return;
  long group_id = parse_int(id_word, 16);

  // The member lines are matched first, so that both lists are made at
  // their final size.  Nothing outside is asked in this pass, and a number
  // too long to read here is left for the second pass, in its turn.  The
  // scratch list is taken out of the object while in use: a nested read gets
  // its own.
  std::vector<Member> members;
  members.swap(member_scratch_);
  members.clear();
  size_t l2_count = 0;
  std::string_view line;
  while (lines.next(line)) {
    // Matched straight into the list's slot, which a line without a target
    // gives back.
    Member& m = members.emplace_back();
    if (!match_member(line, m.port, m.intf_text, m.intf, m.read) || m.port == "cpu0") {
      members.pop_back();
      continue;
    }
    if (m.read && m.intf == -1) ++l2_count;
  }
  EncapList l2, l3;
  l2.reserve(l2_count);
  l3.reserve(members.size() - l2_count);

  for (const Member& member : members) {
    std::string_view port = member.port;
    long intf = member.read ? member.intf : parse_int(member.intf_text, 10);
    const uint32_t id = ctx_->port_names.intern(port);
    if (intf == -1) {
      Encap& e = l2.emplace_back(port_encap(port, id));
      e.intf = e.vlan = e.evid = -1;
      continue;
    }
    if (need(riot_enable, "riot_enable")) {
      // With RIOT the encap id is a next-hop index.
      if (auto mapped = int_lookup(need(l3_intf_nhi, "l3_intf_nhi"), intf)) intf = *mapped;
    }
    auto l3_vlan = int_lookup(need(l3_intfs, "l3_intfs"), intf);
    long vlan = l3_vlan ? *l3_vlan : -1;
    long evid = evid_of(port, id, vlan);
    // The port name is asked for only after the VLAN lookups.
    Encap& e = l3.emplace_back(port_encap(port, id));
    e.intf = intf;
    e.vlan = vlan;
    e.evid = evid;
  }
  member_scratch_.swap(members);
  need(replication_groups, "replication_groups")
      .insert_or_assign(group_id, ReplicationGroup(group_id, std::move(l2), std::move(l3)));
}

}  // namespace nv
