// Format texts such as "(a,i10)": a parenthesised list of A, Aw, Iw and Iw.m
// descriptors and groups, blanks ignored, letters of either case. A cursor
// hands out the data descriptors in order and reverts, when they run out, to
// the last top-level group or to the start.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quorvane {

struct Descriptor {
  enum class Kind { kA, kI };
  Kind kind = Kind::kA;
  std::size_t width = 0;  // 0 when none is written
  std::size_t min_digits = 1;
};

class FormatCursor {
 public:
  // Widths above this are not read as widths.
  static constexpr std::size_t kMaxWidth = 99999;

  explicit FormatCursor(std::string_view text);

  // Whether the text is a format that this run-time reads.
  bool valid() const { return valid_; }
  // Whether it holds at least one data descriptor.
  bool has_descriptors() const { return has_descriptors_; }

  // The next data descriptor, or false when the text is used up.
  bool next(Descriptor& descriptor);
  // Goes back to the last top-level group, or to the start when there is none.
  void revert() { pos_ = reversion_; }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t reversion_ = 0;
  std::size_t end_ = 0;  // the closing parenthesis of the whole list
  bool valid_ = false;
  bool has_descriptors_ = false;
};

// "-" for a negative value, then the digits without leading zeros; zero is
// the single digit 0. The view points into buffer.
std::string_view integer_text(std::int32_t value, std::array<char, 12>& buffer);

}  // namespace quorvane
