#include "runtime/fixed_text.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvane {
namespace {

TEST(FixedTextTest, AssignCutsOrBlankFills) {
  struct Case {
    std::string_view text;
    std::string_view want;
  };
  const Case cases[] = {
      {"", "      "},         {"ab", "ab    "},     {"abcdef", "abcdef"},
      {"abcdefgh", "abcdef"}, {" a\tb", " a\tb  "},
  };
  for (const Case& c : cases) {
    FixedText<6> field("xxxxxx");
    field = c.text;
    EXPECT_EQ(field.text(), c.want) << "assigning \"" << c.text << "\"";
  }
}

TEST(FixedTextTest, TrimmedLengthCountsOnlyBlanksAsPadding) {
  EXPECT_EQ(FixedText<5>("").trimmed_length(), 0U);
  EXPECT_EQ(FixedText<5>("a b").trimmed_length(), 3U);
  EXPECT_EQ(FixedText<5>("a\t").trimmed_length(), 2U);
  EXPECT_EQ(FixedText<5>(std::string_view("a\0", 2)).trimmed_length(), 2U);
  EXPECT_EQ(FixedText<5>("  x").trimmed(), "  x");
}

TEST(FixedTextTest, JoinTakesFullWidthOrTrimmedPartsAndStopsAtTheEnd) {
  const FixedText<36> latest("c:\\vesk\\data\\latest\\");
  const FixedText<12> mask("LR*.B_G");
  FixedText<42> pattern;
  pattern.join({latest.trimmed(), mask.trimmed()});
  EXPECT_EQ(pattern.text(), "c:\\vesk\\data\\latest\\LR*.B_G" + std::string(15, ' '));

  FixedText<10> cut("##########");
  cut.join({"abcd", FixedText<4>("ef"), "ghijkl", "never"});
  EXPECT_EQ(cut.text(), "abcdef  gh");
}

TEST(FixedTextTest, JoinMayReadTheFieldItWrites) {
  FixedText<8> field("abc");
  field.join({"<", field.trimmed(), ">", field.text()});
  EXPECT_EQ(field.text(), "<abc>abc");
}

TEST(FixedTextTest, PartIsAFieldOfItsOwnWidth) {
  FixedText<10> field("0123456789");
  FieldRef middle = field.part(2, 7);
  EXPECT_EQ(middle.width(), 6U);
  middle.assign("ab");
  EXPECT_EQ(field.text(), "0ab    789");
  field.part(8, 10).join({"x", "yz", "more"});
  EXPECT_EQ(field.text(), "0ab    xyz");
  EXPECT_EQ(field.part(5, 4).width(), 0U);
}

TEST(FixedTextTest, JoinedTextKeepsTheTotalLengthOfItsParts) {
  const FixedText<40> infile("c:\\vesk\\data\\latest\\LR0001.B_G");
  const JoinedText notice({" In RUNIN, INFILE = [", infile, "]"});
  EXPECT_EQ(notice.text().size(), 62U);
  EXPECT_EQ(notice.text().substr(21, 11), "c:\\vesk\\dat");
  EXPECT_EQ(notice.text().back(), ']');
}

}  // namespace
}  // namespace quorvane
