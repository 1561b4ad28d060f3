#include "runtime/console/real_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace quorvane {

namespace {

constexpr std::size_t kSignificant = 7;

std::string_view copy_out(std::string_view text, std::array<char, 16>& buffer) {
  std::size_t n = 0;
  for (char c : text) buffer[n++] = c;
  return {buffer.data(), n};
}

}  // namespace

std::string_view free_real_text(float value, std::array<char, 16>& buffer) {
  const double x = value;  // exact: every float is a double
  if (std::isnan(x)) return copy_out("NaN", buffer);
  if (std::isinf(x)) return copy_out(x < 0 ? "-Infinity" : "Infinity", buffer);
  if (x == 0.0) return copy_out("0.000000E+00", buffer);

  // 17 significant digits: "d.dddddddddddddddde+XX", of |x|.
  char expansion[32];
  const auto [end, ec] = std::to_chars(expansion, expansion + sizeof expansion, std::fabs(x),
                                       std::chars_format::scientific, 16);
  if (ec != std::errc()) return copy_out("NaN", buffer);  // cannot happen for a finite value
  char digits[17];
  digits[0] = expansion[0];
  for (int i = 1; i < 17; ++i) digits[i] = expansion[i + 1];
  int exponent = 0;
  std::from_chars(expansion + 19 + (expansion[19] == '+' ? 1 : 0), end, exponent);
  const int p_found = exponent + 1;  // digits before the point without an exponent

  // Half up on the 8th digit; a carry out of the first makes it 1000000.
  int p = p_found;
  if (digits[kSignificant] >= '5') {
    int i = static_cast<int>(kSignificant) - 1;
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i >= 0) {
      ++digits[i];
    } else {
      digits[0] = '1';
      ++p;
    }
  }

  std::size_t n = 0;
  if (x < 0) buffer[n++] = '-';
  if (p_found >= 1 && p_found <= 7) {
    // Fixed form: p integer digits, 6 places; places past the 7th digit are 0.
    const auto digit = [&](int i) { return i < static_cast<int>(kSignificant) ? digits[i] : '0'; };
    for (int i = 0; i < p; ++i) buffer[n++] = digit(i);
    buffer[n++] = '.';
    for (int i = p; i < p + 6; ++i) buffer[n++] = digit(i);
  } else {
    buffer[n++] = digits[0];
    buffer[n++] = '.';
    for (std::size_t i = 1; i < kSignificant; ++i) buffer[n++] = digits[i];
    buffer[n++] = 'E';
    const int e = p - 1;
    buffer[n++] = e < 0 ? '-' : '+';
    const int magnitude = std::abs(e);
    buffer[n++] = static_cast<char>('0' + magnitude / 10);
    buffer[n++] = static_cast<char>('0' + magnitude % 10);
  }
  return {buffer.data(), n};
}

}  // namespace quorvane
