#define PCRE2_CODE_UNIT_WIDTH 8
#include "common/regex.h"

#include <pcre2.h>

#include <stdexcept>

namespace nv {

namespace {

pcre2_code* compile(const std::string& pattern, uint32_t options) {
  pcre2_compile_context* ctx = pcre2_compile_context_create(nullptr);
  pcre2_set_newline(ctx, PCRE2_NEWLINE_LF);
  int err = 0;
  PCRE2_SIZE offset = 0;
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                   options, &err, &offset, ctx);
  pcre2_compile_context_free(ctx);
  if (!code) {
    PCRE2_UCHAR buf[256];
    pcre2_get_error_message(err, buf, sizeof buf);
    throw std::logic_error("bad pattern " + pattern + ": " + reinterpret_cast<char*>(buf));
  }
  // JIT is an optimisation only; the interpreter gives the same answers.
  pcre2_jit_compile(code, PCRE2_JIT_COMPLETE);
  return code;
}

}  // namespace

Regex::Regex(std::string pattern) : pattern_(std::move(pattern)) {
  anchored_ = compile(pattern_, PCRE2_ANCHORED);
  unanchored_ = compile(pattern_, 0);
  data_ = pcre2_match_data_create_from_pattern(unanchored_, nullptr);

  uint32_t captures = 0;
  pcre2_pattern_info(unanchored_, PCRE2_INFO_CAPTURECOUNT, &captures);
  pairs_ = size_t{captures} + 1;

  uint32_t count = 0, entry_size = 0;
  PCRE2_SPTR table = nullptr;
  pcre2_pattern_info(unanchored_, PCRE2_INFO_NAMECOUNT, &count);
  pcre2_pattern_info(unanchored_, PCRE2_INFO_NAMEENTRYSIZE, &entry_size);
  pcre2_pattern_info(unanchored_, PCRE2_INFO_NAMETABLE, &table);
  for (uint32_t i = 0; i < count; ++i) {
    PCRE2_SPTR e = table + i * entry_size;
    int number = (e[0] << 8) | e[1];
    names_.emplace_back(reinterpret_cast<const char*>(e + 2), number);
  }
}

Regex::~Regex() {
  pcre2_match_data_free(data_);
  pcre2_code_free(anchored_);
  pcre2_code_free(unanchored_);
}

std::optional<Match> Regex::match(std::string_view subject) const { return run(anchored_, subject); }

std::optional<Match> Regex::search(std::string_view subject) const {
  return run(unanchored_, subject);
}

std::optional<Match> Regex::run(pcre2_code* code, std::string_view subject) const {
  int rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(subject.data()), subject.size(), 0, 0,
                       data_, nullptr);
  if (rc == PCRE2_ERROR_NOMATCH) return std::nullopt;
  if (rc < 0) throw std::runtime_error("regex match failed: " + pattern_);
  Match m(this, subject);
  const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(data_);
  m.pairs_ = pairs_;
  size_t* out = m.inline_;
  if (pairs_ > Match::kInlinePairs) {
    m.more_.resize(2 * pairs_);
    out = m.more_.data();
  }
  // rc is one more than the highest group set; the pairs after it are left
  // over from earlier matches.
  const size_t set = static_cast<size_t>(rc);
  for (size_t i = 0; i < 2 * set; ++i) out[i] = ov[i];
  for (size_t i = 2 * set; i < 2 * pairs_; ++i) out[i] = PCRE2_UNSET;
  return m;
}

int Regex::group_number(std::string_view name) const {
  for (const auto& [n, number] : names_)
    if (n == name) return number;
  throw std::logic_error("no group " + std::string(name) + " in " + pattern_);
}

std::string_view Match::group(size_t number) const {
  if (number >= pairs_) return {};
  const size_t* o = offsets();
  size_t b = o[2 * number], e = o[2 * number + 1];
  if (b == PCRE2_UNSET) return {};
  return subject_.substr(b, e - b);
}

std::string_view Match::operator[](std::string_view name) const {
  return group(re_->group_number(name));
}

}  // namespace nv
