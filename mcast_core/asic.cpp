// mcast_core: the checker object, its construction sequence and the host's
// queries and dumps.
#include "mcast_core/asic.h"

#include <algorithm>

#include "common/errors.h"
#include "common/regex.h"
#include "common/text.h"

namespace nv {

Asic::Asic(Env env, const ChipPolicy& policy)
    : KernelState(*this, policy.merge_router_ports_unaware, *this), env_(std::move(env)), policy_(policy) {}

bool Asic::is_linux_port(const std::string& dev) { return need(linux_ports, "linux_ports").contains(dev); }

Error Asic::missing_attribute(const char* name) {
  // Asic is an old-style class of the host; this is its wording.
  return Error(ErrorKind::Attribute, std::string("Asic instance has no attribute '") + name + "'");
}

void Asic::make_outside_objects(ServiceFactory& services, const Value& debug_arg) {
  desc = "asic";
  debug = debug_arg;
  pt = services.make_port_table();
  vrf_db = services.make_vrf_db();
  bcm = services.make_shell();
}

std::optional<std::string> Asic::get_cmd_output(System& sys, const std::vector<std::string>& argv) {
  return sys.capture(argv);
}

Value Asic::get_cmd_output_or(const std::vector<std::string>& argv, const Value& disp_str) {
  std::optional<std::string> out = get_cmd_output(*real_system(), argv);
  return out ? Value(std::move(*out)) : disp_str;
}

ShellOutput Asic::run_guarded(const std::string& cmd, std::string_view timeout_text) {
  DiagShell& shell = need(bcm, "bcm");
  try {
    return shell.run(cmd);
  } catch (const ShellTimeout&) {
    throw RuntimeError(std::string(timeout_text));
  }
}

const Encap& Asic::port_encap(std::string_view dport, uint32_t id) {
  PortTable& table = need(pt, "pt");
  if (!ctx_) {
    port_encap_answer_.linux_port = table.bcm2linux(std::string(dport));
    port_encap_answer_.bcm_dport.assign(dport.data(), dport.size());
    return port_encap_answer_;
  }
  ReadContext& c = *ctx_;
  if (id == kNoName) id = c.port_names.intern(dport);
  if (id < c.port_encap_known.size() && c.port_encap_known[id]) return c.port_encaps[id];
  // Only answers are kept: a port the table rejects is asked again.
  std::string name = table.bcm2linux(std::string(dport));
  if (id >= c.port_encaps.size()) {
    c.port_encaps.resize(c.port_names.size(), Encap("", "", 0, 0, 0));
    c.port_encap_known.resize(c.port_names.size());
  }
  Encap& e = c.port_encaps[id];
  e.linux_port = std::move(name);
  e.bcm_dport.assign(dport.data(), dport.size());
  c.port_encap_known[id] = true;
  return e;
}

const Hmroute* Asic::find_route(const std::string& key) const {
  return need(mroutes, "mroutes").lookup(key).value;
}

// --- host queries and dumps

std::string Asic::route_text(const Hmroute& route) const {
  return policy_.hmroute_iif_text ? route.text_named_iif() : route.text();
}

std::string Asic::dump_one_mroute(const Hmroute& route) const {
  std::string out = route_text(route);
  out += '\n';
  auto group = need(replication_groups, "replication_groups").lookup(route.grp);
  if (!group.empty()) out += group.get().text();
  return out;
}

std::vector<std::pair<std::string, const Hmroute*>> Asic::sorted_routes() const {
  const MrouteMap& routes = need(mroutes, "mroutes");
  std::vector<std::pair<std::string, const Hmroute*>> out;
  out.reserve(routes.size());
  for (const auto& [key, route] : routes) out.emplace_back(key, &route);
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  return out;
}

std::string Asic::text() const {
  std::string out = "Asic ip mroutes:\n";
  for (const auto& kv : sorted_routes()) out += dump_one_mroute(*kv.second);
  return out;
}

std::set<std::string> Asic::get_mroutes() const {
  std::set<std::string> keys;
  for (const auto& kv : need(mroutes, "mroutes")) keys.insert(kv.first);
  return keys;
}

void Asic::dump_mroutes(const WhenTrue<std::vector<Value>>& filter) const {
  Console& console = *env_.console;
  if (!filter) {
    for (const auto& kv : sorted_routes()) console.write(dump_one_mroute(*kv.second));
    return;
  }
  for (const Value& key : *filter)
    if (const std::string* text = key.as_text())
      if (const Hmroute* route = find_route(*text)) console.write(dump_one_mroute(*route));
}

Value Asic::get_repl_group_entry(const Value& group_id, const Value& intf) const {
  long id = int_with_base(group_id, 16);
  const std::string intf_text = str(intf);
  auto group = need(replication_groups, "replication_groups").lookup(id);
  if (group.empty()) return 0L;
  // Both sides lose their first character, whatever it is.
  std::string_view wanted = std::string_view(intf_text).substr(intf_text.empty() ? 0 : 1);
  for (const Encap& e : group.get().l3_encaps) {
    std::string have = std::to_string(e.intf);
    if (std::string_view(have).substr(1) == wanted) return intf;
  }
  return 0L;
}

std::pair<Value, Value> Asic::get_l3_egress(const Value& intf) {
  ShellOutput out = run_guarded("l3 egress show", "l3 show");
  std::vector<std::string_view> ls = lines(out.text);
  std::vector<std::string_view> w;
  // Columns 0, 1 and 10 are taken from every row before it is compared, so
  // a short row ends the search with an index error.
  for (size_t i = 3; i < ls.size(); ++i) {
    words_into(ls[i], w);
    if (w.size() < 11) throw IndexError();
    if (intf == w[0]) return {std::string(w[1]), std::string(w[10])};
  }
  return {0L, 0L};
}

// --- route keys and the pairing check

// The match of "(?P<vrf>\S+), \((?P<sip>\S+),(?P<dip>\S+)\)" at the start of
// the key, found without the regex engine: it runs once per compared route.
// The VRF is the key's first run of non-blanks less its last byte, which
// must be ",", and " (" follows it; the rest of the match lies in the next
// run of non-blanks, where the greedy groups put the group's end at the
// run's last ")" and the source's end at the last "," that leaves the
// group a byte.
Asic::KeyParts Asic::key_to_sip_dip(std::string_view key) {
  const std::optional<KeyViews> v = key_views(key);
  if (!v) return {};
  return {std::string(v->vrf), std::string(v->src), std::string(v->grp)};
}

std::optional<Asic::KeyViews> Asic::key_views(std::string_view key) {
  size_t w = 0;
  while (w < key.size() && !is_space(key[w])) ++w;
  if (w < 2 || w + 1 >= key.size() || key[w - 1] != ',' || key[w] != ' ' || key[w + 1] != '(')
    return std::nullopt;
  size_t end = w + 2;
  while (end < key.size() && !is_space(key[end])) ++end;
  const std::string_view run = key.substr(w + 2, end - (w + 2));
  const size_t close = run.rfind(')');
  if (close == std::string_view::npos || close < 3) return std::nullopt;
  const size_t comma = run.rfind(',', close - 2);
  if (comma == std::string_view::npos || comma == 0) return std::nullopt;
  return KeyViews{key.substr(0, w - 1), run.substr(0, comma),
                  run.substr(comma + 1, close - comma - 1)};
}

void Asic::mroute_pairx_check_and_get_orig_dev() {
  std::string out;
  try {
    out = command_output("/usr/bin/pairxctl -v");
  } catch (...) {
    // No pairing tool on this switch: nothing to add.
    return;
  }
  if (out.empty()) return;
  std::vector<std::string_view> ls = lines(out);
  if (ls.empty() || ls[0] != "The peer is alive") return;
  for (std::string_view line : ls) {
    if (!contains(line, "Peer Interface and IP:")) continue;
    std::vector<std::string_view> w = words(line);
    // A line too short to carry the peer interface names no peer.
    if (w.size() >= 5) env_.orig_dev->append(std::string(w[4]));
    return;
  }
}

size_t Asic::list_index(const std::vector<std::string_view>& words, std::string_view word) {
  for (size_t i = 0; i < words.size(); ++i)
    if (words[i] == word) return i;
  throw ValueError(py_repr(word) + " is not in list");
}

std::pair<std::optional<std::string>, FieldMap> Asic::field_dict_build(std::string_view entry) {
  static const Regex kEntry(R"(\[(?P<key>\d+)\]: \<(?P<data>\S+)\>)");
  FieldMap fields;
  auto m = kEntry.search(entry);
  if (!m) return {std::nullopt, std::move(fields)};
  std::string key((*m)["key"]);
  for (std::string_view piece : split((*m)["data"], ",")) {
    std::vector<std::string_view> parts = split(piece, "=");
    if (parts.size() < 2) continue;
    fields.insert_or_assign(std::string(parts[0]), std::string(parts[1]));
  }
  return {std::move(key), std::move(fields)};
}

}  // namespace nv
