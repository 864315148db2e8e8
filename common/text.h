// The text rules the readers depend on, written once.  They follow the host
// interpreter's byte-string rules exactly: lines break at LF, CR and CR LF;
// words split at runs of the six ASCII white-space bytes.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace nv {

namespace detail {
// Byte classes of the text rules, looked up rather than compared: the
// readers test every byte of the shell's output.
struct ByteTable {
  bool space[256];
  unsigned char digit[256];  // value of 0-9, a-f, A-F; 255 for the rest
  constexpr ByteTable() : space(), digit() {
    for (int c = 0; c < 256; ++c) digit[c] = 255;
    for (unsigned char c : {' ', '\t', '\n', '\v', '\f', '\r'}) space[c] = true;
    for (int c = 0; c < 10; ++c) digit['0' + c] = static_cast<unsigned char>(c);
    for (int c = 0; c < 6; ++c) {
      digit['a' + c] = static_cast<unsigned char>(10 + c);
      digit['A' + c] = static_cast<unsigned char>(10 + c);
    }
  }
};
inline constexpr ByteTable kBytes{};

// The first LF in [p, e), or e.
inline const char* find_lf(const char* p, const char* e) {
  const void* f = std::memchr(p, '\n', static_cast<size_t>(e - p));
  return f ? static_cast<const char*>(f) : e;
}

}  // namespace detail

// \t \n \v \f \r and blank; no byte above 127 is white space.
constexpr bool is_space(char c) { return detail::kBytes.space[static_cast<unsigned char>(c)]; }

// Reads a text line by line, with no empty last line for a final line
// break.  Texts without CR (nearly all shell output) are cut at each LF by
// memchr; the byte loop is kept for the others.
class LineCursor {
 public:
  explicit LineCursor(std::string_view text)
      : LineCursor(text, text.empty() || !std::memchr(text.data(), '\r', text.size())) {}
  // For a piece of a text whose caller knows that it holds no CR.
  LineCursor(std::string_view text, bool no_cr)
      : p_(text.data()), end_(text.data() + text.size()), lf_only_(no_cr) {}

  bool next(std::string_view& line) {
    if (p_ == end_) return false;
    const char* e;
    if (lf_only_) {
      e = detail::find_lf(p_, end_);
    } else {
      e = p_;
      while (e != end_ && *e != '\n' && *e != '\r') ++e;
    }
    line = std::string_view(p_, static_cast<size_t>(e - p_));
    if (e == end_)
      p_ = end_;
    else if (*e == '\r' && e + 1 != end_ && e[1] == '\n')
      p_ = e + 2;
    else
      p_ = e + 1;
    return true;
  }

 private:
  const char* p_;
  const char* end_;
  bool lf_only_;
};

// The number of LF bytes in a text, found by memchr one after another: it
// reads a line's bytes many at a time, where a byte count reads them singly.
inline size_t count_lf(std::string_view text) {
  size_t n = 0;
  const char* e = text.data() + text.size();
  for (const char* p = text.data(); (p = detail::find_lf(p, e)) != e; ++p) ++n;
  return n;
}

// Lines of a text, with no empty last line for a final line break.
std::vector<std::string_view> lines(std::string_view text);

// Calls f(line) for each line; same rule as lines(), without the vector.
template <class F>
void for_each_line(std::string_view text, F&& f) {
  LineCursor c(text);
  std::string_view line;
  while (c.next(line)) f(line);
}

// Words of a line: split at runs of white space, no empty words.
std::vector<std::string_view> words(std::string_view line);
// Fills `out` (cleared first); saves an allocation per line in hot loops.
void words_into(std::string_view line, std::vector<std::string_view>& out);
// The first max_words words only: a reader that uses a few leading columns
// need not cut the rest of a long row.
void words_into(std::string_view line, std::vector<std::string_view>& out, size_t max_words);
// Word 0 of a line, empty when the line has no word.
std::string_view first_word(std::string_view line);

// Split at every occurrence of `sep` (non-empty); keeps empty fields.
std::vector<std::string_view> split(std::string_view text, std::string_view sep);

std::string_view strip(std::string_view text);

inline bool contains(std::string_view hay, std::string_view needle) {
  return hay.find(needle) != std::string_view::npos;
}

namespace detail {
long parse_int_rule(std::string_view text, int base);
}

// int(text, base) of the interpreter for base 10 and 16: surrounding white
// space, an optional sign (white space may follow it) and, in base 16, an
// optional 0x or 0X prefix.  Raises ValueError with the interpreter's message.
// Bare digits (in base 16 after an optional 0x), which nearly every table
// column holds, are read inline.
inline long parse_int(std::string_view text, int base) {
  std::string_view digits = text;
  if (base == 16 && digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X'))
    digits.remove_prefix(2);
  if (digits.empty() || digits.size() > 15) return detail::parse_int_rule(text, base);
  const unsigned ubase = static_cast<unsigned>(base);
  long v = 0;
  for (char c : digits) {
    const unsigned d = detail::kBytes.digit[static_cast<unsigned char>(c)];
    if (d >= ubase) return detail::parse_int_rule(text, base);
    v = v * base + static_cast<long>(d);
  }
  return v;
}
// parse_int without the error: false when the text is not a number.
bool try_parse_int(std::string_view text, int base, long& out);

// repr() of a byte string, as the interpreter writes it.
std::string py_repr(std::string_view text);

std::string join(const std::vector<std::string>& parts, std::string_view sep);
// A text whose copies share one stored string.  The route notes are a few
// fixed texts appended over and over: as SharedText each append stores a
// pointer, not a copy of the text.  The count of copies is a plain one: the
// core and its host run on one thread.
class SharedText {
 public:
  // A text that outlives every copy (a static one): its copies point to it
  // and count nothing.
  class Lasting {
   public:
    explicit Lasting(std::string text) : block_{kLasting, std::move(text)} {}
    Lasting(const Lasting&) = delete;
    Lasting& operator=(const Lasting&) = delete;

   private:
    friend class SharedText;
    // Copies point to it as to any block; they never change a lasting one.
    mutable struct Block { long copies; std::string text; } block_;
  };

  SharedText(std::string text) : b_(new Block{1, std::move(text)}) {}
  SharedText(const char* text) : SharedText(std::string(text)) {}
  SharedText(const Lasting& text) : b_(&text.block_) {}
  SharedText(const SharedText& o) : b_(o.b_) { hold(); }
  SharedText(SharedText&& o) noexcept : b_(o.b_) { o.b_ = nullptr; }
  SharedText& operator=(SharedText o) noexcept {
    std::swap(b_, o.b_);
    return *this;
  }
  ~SharedText() { drop(); }

  const std::string& str() const { return b_->text; }
  bool operator==(const SharedText& o) const { return str() == o.str(); }
  bool operator==(std::string_view o) const { return str() == o; }

 private:
  using Block = Lasting::Block;
  static constexpr long kLasting = -1;
  void hold() {
    if (b_ && b_->copies != kLasting) ++b_->copies;
  }
  void drop() {
    if (b_ && b_->copies != kLasting && --b_->copies == 0) delete b_;
  }
  Block* b_;
};

// Appends "%ld" of v.
void append_decimal(std::string& out, long v);
// "%s.%ld" of name and vlan, into out.
inline void assign_with_vlan(std::string& out, std::string_view name, long vlan) {
  out.assign(name);
  out += '.';
  append_decimal(out, vlan);
}
// The same as a new text.
inline std::string with_vlan(std::string_view name, long vlan) {
  std::string out;
  assign_with_vlan(out, name, vlan);
  return out;
}
// The same over any list of texts.
template <class L>
std::string join(const L& parts, std::string_view sep) {
  std::string out;
  bool first = true;
  for (const std::string& p : parts) {
    if (!first) out += sep;
    out += p;
    first = false;
  }
  return out;
}

// Dotted quad of a 32-bit value, most significant byte first.
std::string dotted_quad(uint32_t value);

}  // namespace nv
