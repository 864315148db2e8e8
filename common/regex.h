// Regular expressions with named groups over PCRE2 (8-bit, no UTF, LF
// newline).  The patterns are the interpreter's own texts, unchanged.
// match() is anchored at the start only, search() finds the first match.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct pcre2_real_code_8;
struct pcre2_real_match_data_8;

namespace nv {

class Regex;

class Match {
 public:
  // The text of a named group; empty when the group took no part.
  std::string_view operator[](std::string_view name) const;
  std::string_view group(size_t number) const;
  size_t start() const { return offsets()[0]; }
  size_t end() const { return offsets()[1]; }

 private:
  friend class Regex;
  Match(const Regex* re, std::string_view subject) : re_(re), subject_(subject) {}
  const size_t* offsets() const { return more_.empty() ? inline_ : more_.data(); }

  // The readers' patterns have a few groups: their offsets live in the
  // match itself, so a match costs no allocation.
  static constexpr size_t kInlinePairs = 8;
  const Regex* re_;
  std::string_view subject_;
  size_t pairs_ = 0;
  size_t inline_[2 * kInlinePairs] = {};
  std::vector<size_t> more_;  // patterns with more groups than that
};

class Regex {
 public:
  explicit Regex(std::string pattern);
  ~Regex();
  Regex(const Regex&) = delete;
  Regex& operator=(const Regex&) = delete;

  std::optional<Match> match(std::string_view subject) const;
  std::optional<Match> search(std::string_view subject) const;
  const std::string& pattern() const { return pattern_; }

 private:
  friend class Match;
  std::optional<Match> run(pcre2_real_code_8* code, std::string_view subject) const;
  int group_number(std::string_view name) const;

  std::string pattern_;
  pcre2_real_code_8* anchored_ = nullptr;
  pcre2_real_code_8* unanchored_ = nullptr;
  pcre2_real_match_data_8* data_ = nullptr;
  size_t pairs_ = 0;  // group 0 and every capture group
  std::vector<std::pair<std::string, int>> names_;
};

}  // namespace nv
