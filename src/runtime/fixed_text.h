// Fixed-width text fields, the one text type of the feeder and its run-time.
//
// A field of width N always holds N one-byte characters and no terminator.
// Assignment cuts or blank-fills; joins are built apart and then copied, so a
// field may be one of its own parts; a join used as a value keeps the total
// length of its parts. Only the blank (0x20) counts as padding.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>

namespace quorvane {

// A 4-byte truth value: 1 or 0, tested for non-zero.
using Logical = std::int32_t;
inline constexpr Logical kTrue = 1;
inline constexpr Logical kFalse = 0;

// The widest field that a join can build apart (the feeder's widest is 255).
inline constexpr std::size_t kMaxFieldWidth = 256;

// Position of the last character that is not a blank; 0 when all are blanks.
constexpr std::size_t trimmed_length(std::string_view text) {
  std::size_t n = text.size();
  while (n > 0 && text[n - 1] == ' ') --n;
  return n;
}

constexpr std::string_view trimmed(std::string_view text) {
  return text.substr(0, trimmed_length(text));
}

// A writable window onto a field: a whole FixedText or a column range of one.
class FieldRef {
 public:
  constexpr FieldRef(char* data, std::size_t width) : data_(data), width_(width) {}

  constexpr std::size_t width() const { return width_; }
  constexpr char* data() const { return data_; }
  constexpr std::string_view text() const { return {data_, width_}; }
  constexpr std::string_view trimmed() const { return quorvane::trimmed(text()); }
  constexpr std::size_t trimmed_length() const { return quorvane::trimmed_length(text()); }

  // Copies the first min(L, N) characters and blank-fills the rest.
  void assign(std::string_view text) const;

  // Joins the parts in order; what crosses the end is cut, the rest blank-filled.
  void join(std::initializer_list<std::string_view> parts) const;

  // Columns first to last, 1-based and inclusive; 1 <= first <= last + 1 and
  // last <= width() are the caller's to guarantee.
  constexpr FieldRef part(std::size_t first, std::size_t last) const {
    return {data_ + (first - 1), last + 1 - first};
  }

 private:
  char* data_;
  std::size_t width_;
};

template <std::size_t N>
class FixedText {
  static_assert(N >= 1 && N <= kMaxFieldWidth, "field width out of range");

 public:
  static constexpr std::size_t kWidth = N;

  constexpr FixedText() { chars_.fill(' '); }
  constexpr explicit FixedText(std::string_view text) {
    chars_.fill(' ');
    for (std::size_t i = 0; i < N && i < text.size(); ++i) chars_[i] = text[i];
  }
  FixedText& operator=(std::string_view text) {
    ref().assign(text);
    return *this;
  }

  constexpr FieldRef ref() { return {chars_.data(), N}; }
  constexpr operator FieldRef() { return ref(); }  // NOLINT: a field is its own window

  constexpr std::string_view text() const { return {chars_.data(), N}; }
  constexpr operator std::string_view() const { return text(); }  // NOLINT: full width
  constexpr std::string_view trimmed() const { return quorvane::trimmed(text()); }
  constexpr std::size_t trimmed_length() const { return quorvane::trimmed_length(text()); }

  void assign(std::string_view text) { ref().assign(text); }
  void join(std::initializer_list<std::string_view> parts) { ref().join(parts); }
  constexpr FieldRef part(std::size_t first, std::size_t last) { return ref().part(first, last); }

  constexpr char* data() { return chars_.data(); }

 private:
  std::array<char, N> chars_{};
};

// A join used as a value: exactly the total length of its parts, never cut.
// Its storage lasts as long as the object, which lives for one call; a join
// longer than the storage is a memory fault (F6700).
class JoinedText {
 public:
  static constexpr std::size_t kCapacity = 1024;

  JoinedText(std::initializer_list<std::string_view> parts);
  JoinedText(const JoinedText&) = delete;
  JoinedText& operator=(const JoinedText&) = delete;

  std::string_view text() const { return {chars_.data(), length_}; }
  operator std::string_view() const { return text(); }  // NOLINT: a join is a text

 private:
  std::array<char, kCapacity> chars_;
  std::size_t length_ = 0;
};

}  // namespace quorvane
