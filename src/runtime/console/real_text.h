// The text of a single-precision real in a free-form record: 7 significant
// digits, rounded half up on the 8th of the exact decimal expansion, in fixed
// form for 1 <= P <= 7 and in exponent form otherwise.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace quorvane {

// At most 15 characters; the view points into buffer.
std::string_view free_real_text(float value, std::array<char, 16>& buffer);

}  // namespace quorvane
