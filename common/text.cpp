#include "common/text.h"

#include <cerrno>
#include <climits>
#include <cstdio>

#include "common/errors.h"

namespace nv {

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::vector<std::string_view> lines(std::string_view text) {
  std::vector<std::string_view> out;
  for_each_line(text, [&](std::string_view l) { out.push_back(l); });
  return out;
}

void words_into(std::string_view line, std::vector<std::string_view>& out) {
  out.clear();
  size_t i = 0, n = line.size();
  while (true) {
    while (i < n && is_space(line[i])) ++i;
    if (i >= n) break;
    size_t j = i;
    while (j < n && !is_space(line[j])) ++j;
    out.push_back(line.substr(i, j - i));
    i = j;
  }
}

std::vector<std::string_view> words(std::string_view line) {
  std::vector<std::string_view> out;
  words_into(line, out);
  return out;
}

std::vector<std::string_view> split(std::string_view text, std::string_view sep) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (true) {
    size_t j = text.find(sep, i);
    if (j == std::string_view::npos) {
      out.push_back(text.substr(i));
      return out;
    }
    out.push_back(text.substr(i, j - i));
    i = j + sep.size();
  }
}

std::string_view strip(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && is_space(text[b])) ++b;
  while (e > b && is_space(text[e - 1])) --e;
  return text.substr(b, e - b);
}

bool try_parse_int(std::string_view text, int base, long& out) {
  std::string_view t = strip(text);
  bool neg = false;
  if (!t.empty() && (t[0] == '+' || t[0] == '-')) {
    neg = t[0] == '-';
    t.remove_prefix(1);
  }
  if (base == 16 && t.size() >= 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X'))
    t.remove_prefix(2);
  if (t.empty()) return false;
  unsigned long long v = 0;
  for (char c : t) {
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    if (v > (ULLONG_MAX - d) / base) return false;
    v = v * base + d;
  }
  // Values beyond a 64-bit signed integer do not occur in any table read.
  if (neg) {
    if (v > static_cast<unsigned long long>(LONG_MAX) + 1) return false;
    out = v == static_cast<unsigned long long>(LONG_MAX) + 1 ? LONG_MIN : -static_cast<long>(v);
  } else {
    if (v > static_cast<unsigned long long>(LONG_MAX)) return false;
    out = static_cast<long>(v);
  }
  return true;
}

long parse_int(std::string_view text, int base) {
  long v;
  if (!try_parse_int(text, base, v))
    throw ValueError("invalid literal for int() with base " + std::to_string(base) + ": " +
                     py_repr(text));
  return v;
}

std::string py_repr(std::string_view text) {
  char quote = '\'';
  if (text.find('\'') != std::string_view::npos && text.find('"') == std::string_view::npos)
    quote = '"';
  std::string out(1, quote);
  for (unsigned char c : text) {
    if (c == static_cast<unsigned char>(quote) || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c >= 0x7f) {
      char buf[5];
      std::snprintf(buf, sizeof buf, "\\x%02x", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  out += quote;
  return out;
}

std::string join(const std::vector<std::string>& parts, std::string_view sep) {
  std::string out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) out += sep;
    out += parts[i];
  }
  return out;
}

std::string dotted_quad(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", v >> 24, (v >> 16) & 0xff, (v >> 8) & 0xff,
                v & 0xff);
  return buf;
}

}  // namespace nv
