#include "runtime/console/format.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvane {
namespace {

// The descriptors that `pulls` calls of next() give, reverting when the text
// runs out, written as "A|A6|I10.1|/" ("/" marks a reversion).
std::string walk(std::string_view text, int pulls) {
  FormatCursor cursor(text);
  std::string out;
  for (int i = 0; i < pulls; ++i) {
    Descriptor d;
    if (!cursor.next(d)) {
      out += "/";
      cursor.revert();
      if (!cursor.next(d)) return out + "!";
    }
    out += d.kind == Descriptor::Kind::kA ? "A" : "I";
    if (d.width != 0) out += std::to_string(d.width);
    if (d.kind == Descriptor::Kind::kI) {
      out += '.';
      out += std::to_string(d.min_digits);
    }
    out += "|";
  }
  return out;
}

TEST(FormatTest, DescriptorsInOrderWithBlanksAndCaseIgnored) {
  struct Case {
    std::string_view text;
    int pulls;
    std::string_view want;
  };
  const Case cases[] = {
      {"(a)", 1, "A|"},
      {"(a,i10)", 2, "A|I10.1|"},
      {"(a, i5)", 2, "A|I5.1|"},
      {"(a6)", 1, "A6|"},
      {"(I2,A1,I2,A1,I2)", 5, "I2.1|A1|I2.1|A1|I2.1|"},
      {"  ( A 1 2 , i 1 0 . 3 )  ", 2, "A12|I10.3|"},
      {"(i5.0)", 1, "I5.0|"},
      {"(i)", 1, "I.1|"},
      // Reversion: to the start, or to the last top-level group.
      {"(a,i5)", 5, "A|I5.1|/A|I5.1|/A|"},
      {"(a,(i2),(a3,i4))", 6, "A|I2.1|A3|I4.1|/A3|I4.1|"},
      {"(a,(i2,(a1)),i3)", 5, "A|I2.1|A1|I3.1|/I2.1|"},
      {"((a1),a2)", 4, "A1|A2|/A1|A2|"},
      {"((((((((a))))))))", 2, "A|/A|"},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(FormatCursor(c.text).valid()) << c.text;
    EXPECT_EQ(walk(c.text, c.pulls), c.want) << c.text;
  }
}

TEST(FormatTest, TextsThatAreNoFormat) {
  const std::string_view cases[] = {
      "",
      "a",
      "(a",
      "a)",
      "(a))",
      "(a,)",
      "(,a)",
      "(a i5)",
      "(f8.2)",
      "(2i5)",
      "('x')",
      "(a,())",
      "(i5.)",
      "(a5.2)",
      "(a)x",
      "(i100000)",
      "(((((((((a)))))))))",
  };
  for (std::string_view text : cases) EXPECT_FALSE(FormatCursor(text).valid()) << text;

  FormatCursor empty("( )");
  EXPECT_TRUE(empty.valid());
  EXPECT_FALSE(empty.has_descriptors());
  EXPECT_TRUE(FormatCursor("(a)").has_descriptors());
  EXPECT_TRUE(FormatCursor("(i99999)").valid());
}

TEST(FormatTest, IntegerTextHasNoLeadingZeros) {
  struct Case {
    std::int32_t value;
    std::string_view want;
  };
  const Case cases[] = {
      {0, "0"},
      {7, "7"},
      {-2, "-2"},
      {100000, "100000"},
      {2147483647, "2147483647"},
      {-2147483647 - 1, "-2147483648"},
  };
  for (const Case& c : cases) {
    std::array<char, 12> buffer;
    EXPECT_EQ(integer_text(c.value, buffer), c.want);
  }
}

}  // namespace
}  // namespace quorvane
