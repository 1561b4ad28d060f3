#include "runtime/console/real_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quorvane {
namespace {

TEST(RealTextTest, SevenDigitsInFixedOrExponentForm) {
  struct Case {
    float value;
    std::string_view want;
  };
  const Case cases[] = {
      {0.0F, "0.000000E+00"},
      {-0.0F, "0.000000E+00"},
      {2.0F, "2.000000"},
      {1234.5F, "1234.500000"},
      {1234567.0F, "1234567.000000"},
      {9999999.0F, "9999999.000000"},
      {10000000.0F, "1.000000E+07"},
      {12345678.0F, "1.234568E+07"},
      {0.5F, "5.000000E-01"},
      {-0.25F, "-2.500000E-01"},
      {1.0F, "1.000000"},
      {-1.0F, "-1.000000"},
      {0.1F, "1.000000E-01"},  // 0.100000001490116...: the 8th digit is 0
      {3.14159274F, "3.141593"},
      {-7654321.0F, "-7654321.000000"},
      // 9.9999997764825821E-03: the 8th digit carries through all seven.
      {0.0099999998F, "1.000000E-02"},
      // 1.99999988079071: the 8th digit 8 carries, but not out of the first.
      {1.9999999F, "2.000000"},
      // 123.456703186035: the 8th digit 0 does not round the 7th up.
      {123.4567F, "123.456700"},
      {std::numeric_limits<float>::max(), "3.402823E+38"},
      {-std::numeric_limits<float>::max(), "-3.402823E+38"},
      {std::numeric_limits<float>::min(), "1.175494E-38"},
      {std::numeric_limits<float>::denorm_min(), "1.401298E-45"},
      {4.0e9F, "4.000000E+09"},
  };
  for (const Case& c : cases) {
    std::array<char, 16> buffer;
    const std::string_view got = free_real_text(c.value, buffer);
    EXPECT_EQ(got, c.want) << "value " << c.value;
    EXPECT_LE(got.size(), 15U);
  }
}

TEST(RealTextTest, ATieOnTheEighthDigitRoundsAwayFromZero) {
  // Exact values whose 8th digit is a 5 with nothing after it and an even 7th
  // digit: rounding half to even would keep the 2.
  struct Case {
    float value;
    std::string_view want;
  };
  const Case cases[] = {
      {1234.5625F, "1234.563000"},
      {-1234.5625F, "-1234.563000"},
      {12345.625F, "12345.630000"},
      {12345625.0F, "1.234563E+07"},
  };
  for (const Case& c : cases) {
    std::array<char, 16> buffer;
    EXPECT_EQ(free_real_text(c.value, buffer), c.want) << "value " << c.value;
  }
}

TEST(RealTextTest, NonFiniteValuesAreNamed) {
  std::array<char, 16> buffer;
  EXPECT_EQ(free_real_text(std::numeric_limits<float>::infinity(), buffer), "Infinity");
  EXPECT_EQ(free_real_text(-std::numeric_limits<float>::infinity(), buffer), "-Infinity");
  EXPECT_EQ(free_real_text(std::nanf(""), buffer), "NaN");
}

}  // namespace
}  // namespace quorvane
