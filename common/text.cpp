#include "common/text.h"

#include <cerrno>
#include <climits>
#include <cstdio>

#include "common/errors.h"

namespace nv {

std::vector<std::string_view> lines(std::string_view text) {
  std::vector<std::string_view> out;
  for_each_line(text, [&](std::string_view l) { out.push_back(l); });
  return out;
}

void words_into(std::string_view line, std::vector<std::string_view>& out, size_t max_words) {
  out.clear();
  const char* p = line.data();
  const char* e = p + line.size();
  while (out.size() < max_words) {
    while (p != e && is_space(*p)) ++p;
    if (p == e) break;
    const char* w = p;
    while (p != e && !is_space(*p)) ++p;
    out.emplace_back(w, static_cast<size_t>(p - w));
  }
}

void words_into(std::string_view line, std::vector<std::string_view>& out) {
  words_into(line, out, SIZE_MAX);
}

std::string_view first_word(std::string_view line) {
  size_t i = 0, n = line.size();
  while (i < n && is_space(line[i])) ++i;
  size_t j = i;
  while (j < n && !is_space(line[j])) ++j;
  return line.substr(i, j - i);
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
  const char* p = text.data();
  const char* e = p + text.size();
  while (p != e && is_space(*p)) ++p;
  while (e != p && is_space(e[-1])) --e;
  bool neg = false;
  if (p != e && (*p == '+' || *p == '-')) {
    neg = *p == '-';
    ++p;
    // The interpreter skips white space after the sign too: int('- 5') is -5.
    while (p != e && is_space(*p)) ++p;
  }
  if (base == 16 && e - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) p += 2;
  if (p == e) return false;
  const unsigned ubase = static_cast<unsigned>(base);
  unsigned long long v = 0;
  // Up to 15 hexadecimal or 18 decimal digits cannot overflow.
  if (e - p <= (base == 16 ? 15 : 18)) {
    for (; p != e; ++p) {
      const unsigned d = detail::kBytes.digit[static_cast<unsigned char>(*p)];
      if (d >= ubase) return false;
      v = v * ubase + d;
    }
  } else {
    for (; p != e; ++p) {
      const unsigned d = detail::kBytes.digit[static_cast<unsigned char>(*p)];
      if (d >= ubase) return false;
      if (__builtin_mul_overflow(v, ubase, &v) || __builtin_add_overflow(v, d, &v)) return false;
    }
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

long detail::parse_int_rule(std::string_view text, int base) {
  long v;
  if (try_parse_int(text, base, v)) return v;
  // The interpreter quotes the text from its first non-blank byte, at most
  // 200 bytes of it; a text with a NUL byte (int() given a base) it
  // quotes whole.
  std::string_view quoted = text;
  if (text.find('\0') == std::string_view::npos) {
    size_t b = 0;
    while (b < text.size() && is_space(text[b])) ++b;
    quoted = text.substr(b, 200);
  }
  throw ValueError("invalid literal for int() with base " + std::to_string(base) + ": " +
                   py_repr(quoted));
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

void append_decimal(std::string& out, long v) {
  char buf[24];
  char* e = buf + sizeof buf;
  char* p = e;
  unsigned long u = v < 0 ? 0ul - static_cast<unsigned long>(v) : static_cast<unsigned long>(v);
  do {
    *--p = static_cast<char>('0' + u % 10);
    u /= 10;
  } while (u);
  if (v < 0) *--p = '-';
  out.append(p, static_cast<size_t>(e - p));
}

}  // namespace nv
