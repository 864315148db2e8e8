// The text rules the readers depend on, written once.  They follow the host
// interpreter's byte-string rules exactly: lines break at LF, CR and CR LF;
// words split at runs of the six ASCII white-space bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace nv {

bool is_space(char c);

// Lines of a text, with no empty last line for a final line break.
std::vector<std::string_view> lines(std::string_view text);

// Calls f(line) for each line; same rule as lines(), without the vector.
template <class F>
void for_each_line(std::string_view text, F&& f) {
  size_t i = 0, n = text.size();
  while (i < n) {
    size_t j = i;
    while (j < n && text[j] != '\n' && text[j] != '\r') ++j;
    f(text.substr(i, j - i));
    if (j < n && text[j] == '\r' && j + 1 < n && text[j + 1] == '\n') ++j;
    i = j + 1;
  }
}

// Words of a line: split at runs of white space, no empty words.
std::vector<std::string_view> words(std::string_view line);
// Fills `out` (cleared first); saves an allocation per line in hot loops.
void words_into(std::string_view line, std::vector<std::string_view>& out);

// Split at every occurrence of `sep` (non-empty); keeps empty fields.
std::vector<std::string_view> split(std::string_view text, std::string_view sep);

std::string_view strip(std::string_view text);

inline bool contains(std::string_view hay, std::string_view needle) {
  return hay.find(needle) != std::string_view::npos;
}

// int(text, base) of the interpreter for base 10 and 16: surrounding white
// space, an optional sign and, in base 16, an optional 0x or 0X prefix.
// Raises ValueError with the interpreter's message.
long parse_int(std::string_view text, int base);
// parse_int without the error: false when the text is not a number.
bool try_parse_int(std::string_view text, int base, long& out);

// repr() of a byte string, as the interpreter writes it.
std::string py_repr(std::string_view text);

std::string join(const std::vector<std::string>& parts, std::string_view sep);

// Dotted quad of a 32-bit value, most significant byte first.
std::string dotted_quad(uint32_t value);

}  // namespace nv
