#include "runtime/fixed_text.h"

#include <algorithm>
#include <cstring>

#include "runtime/process/fault.h"

namespace quorvane {

void FieldRef::assign(std::string_view text) const {
  const std::size_t n = std::min(text.size(), width_);
  // memmove: the text may be a part of this very field.
  if (n > 0) std::memmove(data_, text.data(), n);
  std::memset(data_ + n, ' ', width_ - n);
}

void FieldRef::join(std::initializer_list<std::string_view> parts) const {
  std::array<char, kMaxFieldWidth> built;
  const std::size_t width = std::min(width_, built.size());
  std::size_t used = 0;
  for (std::string_view part : parts) {
    const std::size_t n = std::min(part.size(), width - used);
    if (n > 0) std::memcpy(built.data() + used, part.data(), n);
    used += n;
    if (used == width) break;
  }
  std::memcpy(data_, built.data(), used);
  std::memset(data_ + used, ' ', width_ - used);
}

JoinedText::JoinedText(std::initializer_list<std::string_view> parts) {
  for (std::string_view part : parts) {
    if (part.size() > kCapacity - length_) {
      fault_no_memory();
      return;  // reached only while the exit step runs: keep what fits
    }
    if (!part.empty()) std::memcpy(chars_.data() + length_, part.data(), part.size());
    length_ += part.size();
  }
}

}  // namespace quorvane
