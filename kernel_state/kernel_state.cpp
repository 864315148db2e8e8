// kernel_state: the shared helpers of the kernel readers.
#include "kernel_state/kernel_state.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "common/errors.h"
#include "common/text.h"

namespace nv {

namespace {

// "%02x" of the host: a negative value prints its sign and magnitude.
std::string hex2(long v) {
  char buf[24];
  if (v < 0)
    std::snprintf(buf, sizeof buf, "-%lx", 0ul - static_cast<unsigned long>(v));
  else
    std::snprintf(buf, sizeof buf, "%02lx", static_cast<unsigned long>(v));
  return buf;
}

std::string format_group_mac(const std::vector<long>& bytes) {
  return "01:00:5e:" + hex2(bytes[1] & 127) + ":" + hex2(bytes[2]) + ":" + hex2(bytes[3]);
}

// Digits of one base, at least one, with no sign, prefix or blank.
bool digits_value(std::string_view text, unsigned base, unsigned long long& v) {
  if (text.empty()) return false;
  v = 0;
  for (char c : text) {
    unsigned d;
    if (c >= '0' && c <= '9')
      d = static_cast<unsigned>(c - '0');
    else if (c >= 'a' && c <= 'f')
      d = static_cast<unsigned>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
      d = static_cast<unsigned>(c - 'A' + 10);
    else
      return false;
    if (d >= base) return false;
    if (__builtin_mul_overflow(v, base, &v) || __builtin_add_overflow(v, d, &v)) return false;
  }
  return true;
}

bool try_parse_int_base0(std::string_view text, long& out) {
  std::string_view t = strip(text);
  bool neg = false;
  if (!t.empty() && (t[0] == '+' || t[0] == '-')) {
    neg = t[0] == '-';
    t.remove_prefix(1);
    t = strip(t);  // int('- 1', 0) is -1
  }
  unsigned base = 10;
  if (t.size() >= 2 && t[0] == '0') {
    const char p = t[1];
    if (p == 'x' || p == 'X') {
      base = 16;
      t.remove_prefix(2);
    } else if (p == 'o' || p == 'O') {
      base = 8;
      t.remove_prefix(2);
    } else if (p == 'b' || p == 'B') {
      base = 2;
      t.remove_prefix(2);
    } else {
      base = 8;  // the old octal form, 017
    }
  }
  unsigned long long v;
  if (!digits_value(t, base, v)) return false;
  if (neg) {
    if (v > static_cast<unsigned long long>(LONG_MAX) + 1) return false;
    out = static_cast<long>(0ull - v);
  } else {
    if (v > static_cast<unsigned long long>(LONG_MAX)) return false;
    out = static_cast<long>(v);
  }
  return true;
}

// The common form, four pieces of one to three decimal digits whose values
// are bytes: the MAC of the low bytes (17 bytes into mac), which the general
// rule gives for it too.  False for any other text.
bool quad_group_mac(std::string_view grp, char* mac) {
  unsigned b[4];
  size_t i = 0;
  for (size_t k = 0; k < 4; ++k) {
    if (k > 0 && (i >= grp.size() || grp[i++] != '.')) return false;
    unsigned v = 0;
    size_t n = 0;
    for (; n < 3 && i < grp.size() && grp[i] >= '0' && grp[i] <= '9'; ++n, ++i)
      v = v * 10 + static_cast<unsigned>(grp[i] - '0');
    if (n == 0 || v > 255) return false;
    b[k] = v;
  }
  if (i != grp.size()) return false;
  static constexpr char kHex[] = "0123456789abcdef";
  std::memcpy(mac, "01:00:5e:00:00:00", 17);
  const unsigned low[3] = {b[1] & 127, b[2], b[3]};
  for (size_t k = 0; k < 3; ++k) {
    mac[9 + 3 * k] = kHex[low[k] >> 4];
    mac[10 + 3 * k] = kHex[low[k] & 15];
  }
  return true;
}

bool quad_group_mac(std::string_view grp, std::string& mac) {
  char buf[17];
  if (!quad_group_mac(grp, buf)) return false;
  mac.assign(buf, sizeof buf);
  return true;
}

}  // namespace

std::string_view GroupMac::get() {
  if (have_) return mac_;
  if (quad_group_mac(grp_, quad_)) {
    mac_ = std::string_view(quad_, sizeof quad_);
  } else {
    other_ = grp_ip2mac(grp_);
    mac_ = other_;
  }
  have_ = true;
  return mac_;
}

std::string grp_ip2mac(std::string_view grp) {
  std::string mac;
  if (quad_group_mac(grp, mac)) return mac;
  std::vector<long> bytes;
  for (std::string_view piece : split(grp, ".")) bytes.push_back(parse_int(piece, 10));
  if (bytes.size() < 4) throw IndexError();
  return format_group_mac(bytes);
}

std::optional<std::string> try_grp_ip2mac(std::string_view grp) {
  std::string mac;
  if (quad_group_mac(grp, mac)) return mac;
  std::vector<long> bytes;
  for (std::string_view piece : split(grp, ".")) {
    long v;
    if (!try_parse_int(piece, 10, v)) return std::nullopt;
    bytes.push_back(v);
  }
  if (bytes.size() < 4) return std::nullopt;
  return format_group_mac(bytes);
}

long parse_int_base0(std::string_view text) {
  long v;
  if (try_parse_int_base0(text, v)) return v;
  // Quoted from its first non-blank byte, at most 200 bytes, as the
  // interpreter does.
  size_t b = 0;
  while (b < text.size() && is_space(text[b])) ++b;
  std::string_view quoted = text.substr(b, 200);
  throw ValueError("invalid literal for int() with base 0: " + py_repr(quoted));
}

void KernelCaches::make_kernel_caches() {
  kern_dev_cache.emplace();
  kern_mdb_cache.emplace();
  flood_mdb_misses = true;
  kern_vlan_cache_created = false;
  kern_vlan_cache.emplace();
  kern_vlan_dev_cache_created = false;
  kern_vlan_dev_cache.emplace();
  kern_br_cache.emplace();
}

std::string KernelState::command_output(const std::string& command_text,
                                        std::string_view fallback) {
  std::vector<std::string> argv;
  for (std::string_view w : words(command_text)) argv.emplace_back(w);
  std::optional<std::string> out = host_.system().capture(argv);
  return out ? std::move(*out) : std::string(fallback);
}

std::string KernelState::read_file_quietly(const std::string& path) {
  try {
    return host_.system().read_file(path);
  } catch (const Error& e) {
    if (e.kind() != ErrorKind::IO) throw;
    return std::string();
  }
}

}  // namespace nv
