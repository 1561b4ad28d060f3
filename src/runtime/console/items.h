// The items of a record: texts, 16- and 32-bit integers, single-precision reals.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "runtime/fixed_text.h"

namespace quorvane {

class Item {
 public:
  enum class Kind { kText, kInt16, kInt32, kReal };

  Item(std::string_view text) : kind_(Kind::kText), text_(text) {}  // NOLINT
  Item(const char* text) : kind_(Kind::kText), text_(text) {}       // NOLINT
  template <std::size_t N>
  Item(const FixedText<N>& field) : kind_(Kind::kText), text_(field.text()) {}  // NOLINT
  Item(FieldRef field) : kind_(Kind::kText), text_(field.text()) {}             // NOLINT
  Item(const JoinedText& join) : kind_(Kind::kText), text_(join.text()) {}      // NOLINT
  Item(std::int16_t value) : kind_(Kind::kInt16), integer_(value) {}            // NOLINT
  Item(std::int32_t value) : kind_(Kind::kInt32), integer_(value) {}            // NOLINT
  Item(float value) : kind_(Kind::kReal), real_(value) {}                       // NOLINT

  Kind kind() const { return kind_; }
  bool is_integer() const { return kind_ == Kind::kInt16 || kind_ == Kind::kInt32; }
  bool is_numeric() const { return kind_ != Kind::kText; }
  std::string_view text() const { return text_; }
  // A 16-bit integer comes sign-extended.
  std::int32_t integer() const { return integer_; }
  float real() const { return real_; }

 private:
  Kind kind_;
  std::string_view text_;
  std::int32_t integer_ = 0;
  float real_ = 0.0F;
};

}  // namespace quorvane
