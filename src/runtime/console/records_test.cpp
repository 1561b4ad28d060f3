#include "runtime/console/records.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "runtime/process/recording_platform.h"

namespace quorvane {
namespace {

using Writes = std::vector<std::string>;

std::string blanks(std::size_t n) { return std::string(n, ' '); }

// n characters "abcd...", for texts whose cut points must show.
std::string letters(std::size_t n) {
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s += static_cast<char>('a' + i % 26);
  return s;
}

constexpr std::int32_t kMinInt = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMaxInt = std::numeric_limits<std::int32_t>::max();

// Standard output of one write_free_record as the first record of a run:
// the leading blank is taken and shows nothing, later lines begin with CR LF.
TEST(FreeRecordLayoutTest, ItemsLaidOutByTheirKinds) {
  struct Case {
    const char* name;
    std::vector<Item> items;
    std::string want;
  };
  const FixedText<42> pattern("c:\\vesk\\data\\latest\\LR*.B_G");
  const std::string all = letters(200);
  const std::string_view text200 = all;
  const std::string_view text70 = text200.substr(0, 70);
  const std::string_view text69 = text200.substr(0, 69);
  const std::string_view text68 = text200.substr(0, 68);
  const std::string_view text67 = text200.substr(0, 67);
  const std::string_view text66 = text200.substr(0, 66);
  const std::string_view text65 = text200.substr(0, 65);
  const std::string_view text64 = text200.substr(0, 64);
  const std::string_view text60 = text200.substr(0, 60);
  const Case cases[] = {
      {"handle", {"hndl=", -1}, "hndl=" + blanks(9) + "-1"},
      {"handle line",
       {"hndl=", -1, " file$last=", -2, "leng= ", 0},
       "hndl=         -1 file$last=         -2leng=           0"},
      {"pattern keeps its trailing blanks",
       {"ffiles=", pattern},
       "ffiles=c:\\vesk\\data\\latest\\LR*.B_G" + blanks(15)},
      {"found name of 64",
       {" file found:  ", text64},
       std::string(" file found:  ").append(text64)},
      {"found name of 65 leaves an empty line",
       {" file found:  ", text65},
       std::string(" file found:  ").append(text65) + "\r\n"},
      {"found name of 66",
       {" file found:  ", text66},
       std::string(" file found:  ").append(text65) + "\r\nn"},
      {"200 characters as 79, 79, 42",
       {text200},
       all.substr(0, 79) + "\r\n" + all.substr(79, 79) + "\r\n" + all.substr(158)},
      {"real after text",
       {"Error number chmod g+w :", 2.0F},
       "Error number chmod g+w :" + blanks(7) + "2.000000"},
      {"real zero",
       {"Error number starting up mv :", 0.0F},
       "Error number starting up mv :" + blanks(3) + "0.000000E+00"},
      {"first item integer", {5}, blanks(10) + "5"},
      {"two integers 12 apart", {1, 2}, blanks(10) + "1" + blanks(11) + "2"},
      {"integer then real", {1, 2.0F}, blanks(10) + "1" + blanks(8) + "2.000000"},
      {"integers after text", {"x", 0, "y", -2}, "x" + blanks(10) + "0" + "y" + blanks(9) + "-2"},
      {"largest integer", {"x", kMaxInt}, "x 2147483647"},
      {"most negative integer", {"x", kMinInt}, "x-2147483648"},
      {"16-bit integers sign-extended",
       {std::int16_t{-5}, std::int16_t{-32768}},
       blanks(9) + "-5" + blanks(6) + "-32768"},
      {"real after text", {"x", 1234567.0F}, "x 1234567.000000"},
      {"empty items", {"", ""}, ""},
      {"no items", {}, ""},
      // A number is moved whole; its leading blank becomes the carriage control.
      {"integer moved", {text68, 5}, std::string(text68) + "\r\n" + blanks(9) + "5"},
      {"integer that fits", {text67, 5}, std::string(text67) + blanks(10) + "5"},
      {"real moved", {text70, -0.25F}, std::string(text70) + "\r\n" + blanks(1) + "-2.500000E-01"},
      {"separator moved with the field",
       {text60, 1, 2},
       std::string(text60) + blanks(10) + "1\r\n" + blanks(10) + "2"},
      // After a move the line has 79 - 10 columns left: 69 characters split.
      {"budget after a move",
       {text70, 5, text69},
       std::string(text70) + "\r\n" + blanks(9) + "5" + all.substr(0, 69) + "\r\n"},
      // A moved field that begins with its sign keeps it.
      {"moved sign kept", {text70, kMinInt}, std::string(text70) + "\r\n-2147483648"},
  };
  for (const Case& c : cases) {
    RecordingPlatform host;
    switch (c.items.size()) {  // the operation takes a braced list
      case 0:
        write_free_record({});
        break;
      case 1:
        write_free_record({c.items[0]});
        break;
      case 2:
        write_free_record({c.items[0], c.items[1]});
        break;
      case 3:
        write_free_record({c.items[0], c.items[1], c.items[2]});
        break;
      case 4:
        write_free_record({c.items[0], c.items[1], c.items[2], c.items[3]});
        break;
      case 6:
        write_free_record({c.items[0], c.items[1], c.items[2], c.items[3], c.items[4], c.items[5]});
        break;
      default:
        FAIL() << c.name;
    }
    EXPECT_EQ(host.stdout_bytes(), c.want) << c.name;
    EXPECT_TRUE(console_line_open()) << c.name;
  }
}

TEST(FreeRecordLayoutTest, EachLineIsOneWriteAndLaterRecordsBeginWithALineEnd) {
  RecordingPlatform host;
  write_free_record({"hndl=", -1});
  const std::string text = letters(100);
  write_free_record({std::string_view(text)});
  const Writes want = {"hndl=         -1", "\r\n", letters(79), "\r\n", letters(100).substr(79)};
  EXPECT_EQ(host.stdout_writes(), want);
}

TEST(FormattedRecordTest, FirstCharacterIsCarriageControl) {
  RecordingPlatform host;
  const std::string notice = " In RUNIN, INFILE = [" + std::string(40, 'p') + "]";
  write_formatted_record("(a)", {std::string_view(notice)});
  write_formatted_record("(a,i10)", {" Error number transferring analys :", 0});
  write_formatted_record("(a)", {"Xshown on a line of its own"});
  write_formatted_record("(a)", {""});
  write_formatted_record("(a)", {"0after an empty line"});
  const Writes want = {
      notice.substr(1),
      "\r\n",
      "Error number transferring analys :         0",
      "\r\n",
      "shown on a line of its own",
      "\r\n",
      "\r\n\r\n",
      "after an empty line",
  };
  EXPECT_EQ(host.stdout_writes(), want);
}

TEST(FormattedRecordTest, LongRecordShowsOnOneLine) {
  RecordingPlatform host;
  const std::string record = " " + letters(199);
  write_formatted_record("(a)", {std::string_view(record)});
  const Writes want = {letters(131), letters(199).substr(131)};
  EXPECT_EQ(host.stdout_writes(), want);
}

TEST(FormattedRecordTest, ItemsLeftOverStartANewRecordFromTheReversionPoint) {
  RecordingPlatform host;
  write_formatted_record("(a,i3)", {" a", 1, " b", 2, " c"});
  write_formatted_record("(a2,(a,i2))", {" x", "y", 1, " z", 2});
  const Writes want = {"a  1", "\r\n", "b  2", "\r\n", "c", "\r\n", "xy 1", "\r\n", "z 2"};
  EXPECT_EQ(host.stdout_writes(), want);
}

// The laid-out text of one internal record, without carriage control.
std::string laid_out(std::string_view format, std::initializer_list<Item> items) {
  FixedText<24> target("########################");
  format_into(target, format, items);
  return std::string(target.trimmed());
}

TEST(FormatIntoTest, DescriptorLayouts) {
  struct Case {
    std::string_view format;
    std::string got;
    std::string_view want;
  };
  const Case cases[] = {
      {"(i2)", laid_out("(i2)", {7}), " 7"},
      {"(i5) too wide", laid_out("(i5)", {100000}), "*****"},
      {"(i5) fits", laid_out("(i5)", {-9999}), "-9999"},
      {"(i10) most negative", laid_out("(i10)", {kMinInt}), "**********"},
      {"(i11) most negative", laid_out("(i11)", {kMinInt}), "-2147483648"},
      {"(i5.3)", laid_out("(i5.3)", {7}), "  007"},
      {"(i5.3) negative", laid_out("(i5.3)", {-7}), " -007"},
      {"(i3.3) sign does not fit", laid_out("(i3.3)", {-7}), "***"},
      {"(i5.0) zero", laid_out("(i5.0)", {0}), "    0"},
      {"(i) as wide as the number", laid_out("(i,a)", {-42, "|"}), "-42|"},
      {"(i2) 16-bit", laid_out("(I2)", {std::int16_t{-1}}), "-1"},
      {"(a6) short", laid_out("(a6)", {"abcd"}), "  abcd"},
      {"(a6) long", laid_out("(a6)", {"abcdefghij"}), "abcdef"},
      {"(a) keeps blanks", laid_out("(a,a)", {" a  ", "b"}), " a  b"},
      {"(a) empty", laid_out("(a,i3)", {"", 5}), "  5"},
      {"stamp",
       laid_out("(I2,A1,I2,A1,I2)", {std::int16_t{5}, "-", std::int16_t{4}, "-", std::int16_t{12}}),
       " 5- 4-12"},
      {"stamp past 2099", laid_out("(I2,A1,I2,A1,I2)", {1, "-", 1, "-", 100}), " 1- 1-**"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.want) << c.format;
}

TEST(FormatIntoTest, InternalRecordRewritesTheWholeTargetAndNothingElse) {
  RecordingPlatform host;
  FixedText<120> line(std::string(120, '#'));
  const std::string text =
      "    Did [c:\\vesk\\data\\latest\\LR0001.B_G] on 18- 4-12. At 10: 3: 7. NRQr=";
  format_into(line, "(a, i5)", {std::string_view(text), 0});
  EXPECT_EQ(line.text(), text + "    0" + blanks(120 - text.size() - 5));

  format_into(line.part(2, 7), "(a6)", {"FailCM"});
  EXPECT_EQ(line.text().substr(0, 12), " FailCM [c:\\");
  EXPECT_EQ(line.text().substr(12), (text + "    0" + blanks(120)).substr(12, 108));

  FixedText<10> field("abcdefghij");
  format_into(field.part(3, 8), "(a)", {"xy"});
  EXPECT_EQ(field.text(), "abxy    ij");

  // An item may be a part of the target itself.
  FixedText<8> self("abcdefgh");
  format_into(self, "(a,a)", {self.part(5, 8), self.part(1, 2)});
  EXPECT_EQ(self.text(), "efghab  ");

  EXPECT_TRUE(host.stdout_writes().empty());
  EXPECT_FALSE(console_line_open());
}

TEST(FormatIntoTest, OutputPastTheTargetFillsItThenFaults) {
  struct Case {
    std::string_view format;
    std::vector<Item> items;
    std::string_view want;
  };
  const Case cases[] = {
      {"(a)", {"abcdef"}, "abcde"},
      {"(a,i3)", {"abc", 12}, "abc 1"},
      {"(a7)", {"ab"}, "     "},
      // A second record of an internal record lies past its end.
      {"(a)", {"x", "y"}, "x    "},
  };
  for (const Case& c : cases) {
    RecordingPlatform host;
    FixedText<7> field("[#####]");
    try {
      if (c.items.size() == 1) {
        format_into(field.part(2, 6), c.format, {c.items[0]});
      } else {
        format_into(field.part(2, 6), c.format, {c.items[0], c.items[1]});
      }
      ADD_FAILURE() << c.format << ": no fault";
    } catch (const ProcessEnded& ended) {
      EXPECT_EQ(ended.status, 1);
    }
    EXPECT_EQ(field.text(), "[" + std::string(c.want) + "]") << c.format;
    EXPECT_NE(host.stderr_bytes().find("F6600: WRITE(internal)"), std::string::npos)
        << host.stderr_bytes();
  }

  RecordingPlatform host;
  FixedText<5> exact("#####");
  format_into(exact, "(a,i2)", {"abc", 12});
  EXPECT_EQ(exact.text(), "abc12");
  EXPECT_EQ(host.stderr_bytes(), "");
}

TEST(FormatFaultTest, ItemThatItsDescriptorCannotTakeDropsTheRecord) {
  struct Case {
    const char* name;
    bool console;
    std::string_view format;
    Item item;
    std::string_view report;
  };
  const Case cases[] = {
      {"text for I", true, "(a,i10)", "0", "F6205: WRITE(CON)"},
      {"real for I", true, "(a,i10)", 0.0F, "F6206: WRITE(CON)"},
      {"integer for A", true, "(a,a)", 1, "F6207: WRITE(CON)"},
      {"no format", true, "(a,f8.2)", 1, "F6207: WRITE(CON)"},
      {"text for I internal", false, "(a,i5)", "0", "F6205: WRITE(internal)"},
      {"real for I internal", false, "(a,i5)", 1.5F, "F6206: WRITE(internal)"},
      {"no format internal", false, "a,i5", 1, "F6207: WRITE(internal)"},
  };
  for (const Case& c : cases) {
    RecordingPlatform host;
    FixedText<12> field("unchanged");
    try {
      if (c.console) {
        write_formatted_record(c.format, {" Error number :", c.item});
      } else {
        format_into(field, c.format, {"Error", c.item});
      }
      ADD_FAILURE() << c.name << ": no fault";
    } catch (const ProcessEnded& ended) {
      EXPECT_EQ(ended.status, 1) << c.name;
    }
    EXPECT_NE(host.stderr_bytes().find(c.report), std::string::npos)
        << c.name << ": " << host.stderr_bytes();
    // Nothing of the record is shown, the line stays as it was.
    EXPECT_EQ(host.stdout_bytes(), "") << c.name;
    EXPECT_EQ(field.text(), "unchanged   ") << c.name;
  }
}

TEST(ConsoleFaultTest, RecordRefusedByTheDeviceIsDroppedAndEndsTheRun) {
  struct Case {
    WriteResult result;
    std::string_view report;
  };
  const Case cases[] = {
      {WriteResult::kNoSpace, "\r\nrun-time error F6422: WRITE(CON)\r\n- "},
      {WriteResult::kAccessDenied, "\r\nrun-time error F6421: WRITE(CON)\r\n- "},
  };
  for (const Case& c : cases) {
    RecordingPlatform host;
    write_free_record({"hndl=", -1});
    host.fail_stdout(c.result);
    EXPECT_THROW(write_formatted_record("(a)", {" In RUNIN"}), ProcessEnded);
    EXPECT_EQ(host.exit_status(), 1);
    EXPECT_EQ(host.stderr_bytes().substr(0, c.report.size()), c.report);
    EXPECT_EQ(host.stdout_bytes(), "hndl=         -1");
  }
}

TEST(ConsoleFaultTest, OtherWriteFailureLosesTheRecordAndTheRunGoesOn) {
  RecordingPlatform host;
  host.fail_stdout(WriteResult::kOtherFailure);
  write_free_record({"lost"});
  host.fail_stdout(WriteResult::kOk);
  write_free_record({"shown"});
  const Writes want = {"\r\n", "shown"};
  EXPECT_EQ(host.stdout_writes(), want);
  EXPECT_EQ(host.stderr_bytes(), "");
}

TEST(StopTest, MessageOnALineOfItsOwnThenStatusZero) {
  struct Case {
    const char* name;
    bool record_first;
    bool message;
    Writes want;
  };
  const Case cases[] = {
      {"before any record", false, true, {"**Quorvane NORMAL TERMINATION***\r\n"}},
      {"after a record",
       true,
       true,
       {"hndl=         -1", "\r\n", "**Quorvane NORMAL TERMINATION***\r\n", "\r\n"}},
      {"no message", false, false, {"Stop - Program terminated.\r\n"}},
      {"no message after a record",
       true,
       false,
       {"hndl=         -1", "\r\n", "Stop - Program terminated.\r\n", "\r\n"}},
  };
  for (const Case& c : cases) {
    RecordingPlatform host;
    if (c.record_first) write_free_record({"hndl=", -1});
    try {
      if (c.message) {
        stop_run("**Quorvane NORMAL TERMINATION***");
      } else {
        stop_run();
      }
    } catch (const ProcessEnded& ended) {
      EXPECT_EQ(ended.status, 0) << c.name;
    }
    EXPECT_EQ(host.exit_status(), 0) << c.name;
    EXPECT_EQ(host.stdout_writes(), c.want) << c.name;
  }
}

TEST(StopTest, MessageIsWrittenWholeAndUnchecked) {
  RecordingPlatform host;
  const std::string message = "0 not a record " + letters(300) + "  ";
  EXPECT_THROW(stop_run(message), ProcessEnded);
  EXPECT_EQ(host.stdout_writes(), Writes{message + "\r\n"});

  RecordingPlatform full;
  write_free_record({"x"});
  full.fail_stdout(WriteResult::kNoSpace);
  EXPECT_THROW(stop_run("done"), ProcessEnded);
  EXPECT_EQ(full.exit_status(), 0);
  EXPECT_EQ(full.stderr_bytes(), "");
}

}  // namespace
}  // namespace quorvane
