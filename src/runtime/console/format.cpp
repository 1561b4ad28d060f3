#include "runtime/console/format.h"

namespace quorvane {

namespace {

// Deeper nesting than any format text needs is not read.
constexpr int kMaxDepth = 8;

constexpr int kEnd = -1;

// Reads a format text character by character, skipping blanks.
class Reader {
 public:
  Reader(std::string_view text, std::size_t pos) : text_(text), pos_(pos) {}

  // The next character that is not a blank, upper-cased; kEnd at the end.
  int peek() {
    while (pos_ < text_.size() && text_[pos_] == ' ') ++pos_;
    if (pos_ == text_.size()) return kEnd;
    const char c = text_[pos_];
    return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : static_cast<unsigned char>(c);
  }
  void skip() { ++pos_; }
  // Where peek() found its character.
  std::size_t pos() const { return pos_; }

  // A run of digits; false when it exceeds the largest width.
  bool number(std::size_t& value) {
    value = 0;
    for (int c = peek(); c >= '0' && c <= '9'; c = peek()) {
      value = value * 10 + static_cast<std::size_t>(c - '0');
      if (value > FormatCursor::kMaxWidth) return false;
      skip();
    }
    return true;
  }

  bool descriptor(Descriptor& d) {
    const int letter = peek();
    if (letter != 'A' && letter != 'I') return false;
    skip();
    d = Descriptor{};
    d.kind = letter == 'A' ? Descriptor::Kind::kA : Descriptor::Kind::kI;
    if (!number(d.width)) return false;
    if (d.kind == Descriptor::Kind::kI && peek() == '.') {
      skip();
      const int c = peek();
      if (c < '0' || c > '9') return false;
      if (!number(d.min_digits)) return false;
    }
    return true;
  }

 private:
  std::string_view text_;
  std::size_t pos_;
};

struct Checker {
  Reader& in;
  std::size_t reversion = 0;
  bool has_descriptors = false;

  // After an opening parenthesis; consumes the closing one.
  bool list(int depth) {
    if (depth == 0 && in.peek() == ')') return true;  // "()": an empty record
    for (;;) {
      if (in.peek() == '(') {
        if (depth + 1 >= kMaxDepth) return false;
        in.skip();
        if (depth == 0) reversion = in.pos();
        if (!list(depth + 1)) return false;
        in.skip();
      } else {
        Descriptor d;
        if (!in.descriptor(d)) return false;
        has_descriptors = true;
      }
      const int c = in.peek();
      if (c == ')') return true;
      if (c != ',') return false;
      in.skip();
    }
  }
};

}  // namespace

FormatCursor::FormatCursor(std::string_view text) : text_(text) {
  Reader in(text, 0);
  if (in.peek() != '(') return;
  in.skip();
  const std::size_t start = in.pos();
  Checker check{in};
  check.reversion = start;
  if (!check.list(0)) return;
  end_ = in.pos();
  in.skip();
  if (in.peek() != kEnd) return;
  pos_ = start;
  reversion_ = check.reversion;
  has_descriptors_ = check.has_descriptors;
  valid_ = true;
}

bool FormatCursor::next(Descriptor& descriptor) {
  if (!valid_) return false;
  Reader in(text_, pos_);
  for (int c = in.peek(); in.pos() != end_; c = in.peek()) {
    if (c == '(' || c == ')' || c == ',') {
      in.skip();
      continue;
    }
    in.descriptor(descriptor);  // checked when the cursor was made
    pos_ = in.pos();
    return true;
  }
  pos_ = end_;
  return false;
}

std::string_view integer_text(std::int32_t value, std::array<char, 12>& buffer) {
  std::uint32_t magnitude =
      value < 0 ? 0U - static_cast<std::uint32_t>(value) : static_cast<std::uint32_t>(value);
  char digits[10];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  std::size_t n = 0;
  if (value < 0) buffer[n++] = '-';
  while (count > 0) buffer[n++] = digits[--count];
  return {buffer.data(), n};
}

}  // namespace quorvane
