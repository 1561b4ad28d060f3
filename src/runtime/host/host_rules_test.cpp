#include "runtime/host/host_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvane {
namespace {

TEST(HostRulesTest, ErrorCodesSortIntoTheClassesTheServicesDecideBy) {
  struct Case {
    std::uint32_t code;
    Failure failure;
    bool end_of_search;
  };
  const Case cases[] = {
      {2, Failure::kNotFound, true},       {3, Failure::kNotFound, true},
      {18, Failure::kOther, true},         {15, Failure::kNotFound, false},
      {53, Failure::kNotFound, false},     {67, Failure::kNotFound, false},
      {206, Failure::kNotFound, false},    {5, Failure::kAccessDenied, false},
      {21, Failure::kAccessDenied, false}, {32, Failure::kAccessDenied, false},
      {33, Failure::kAccessDenied, false}, {87, Failure::kOther, false},
      {8, Failure::kOther, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(classify_failure(c.code), c.failure) << "code " << c.code;
    EXPECT_EQ(is_end_of_search(c.code), c.end_of_search) << "code " << c.code;
  }
}

TEST(HostRulesTest, OnlyTaggedValuesGiveAnErrorNumber) {
  struct Case {
    std::uint32_t last_error;
    std::int32_t number;
  };
  const Case cases[] = {
      {0, 0},           {5, 0},
      {0x2fff0007U, 7}, {0x2ffe0007U, 0},  // one tag bit missing
      {0x20000005U, 0}, {0xefff0007U, static_cast<std::int32_t>(0xc0000007U)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(recorded_error_number(c.last_error), c.number) << std::hex << c.last_error;
  }
}

TEST(HostRulesTest, AttributesKeepTheLow16BitsAndDropTheNormalBitAlone) {
  struct Case {
    std::uint32_t word;
    std::int16_t attributes;
  };
  const Case cases[] = {
      {0x80, 0}, {0x10, 0x10}, {0x21, 0x21}, {0x81, 0x81}, {0x10080, 0x80}, {0x8000, INT16_MIN},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(entry_attributes(c.word), c.attributes) << std::hex << c.word;
  }
}

TEST(HostRulesTest, InquiryNameIsCutAt259AndTrimmedOfBlanksOnBothSides) {
  const std::string long_name = std::string(259, 'a') + "bcd";
  const std::string padded = "  " + std::string(257, 'x') + "  tail";
  struct Case {
    std::string_view name;
    std::string_view prepared;
  };
  const Case cases[] = {
      {"   c:\\vesk\\LR1.B_G   ", "c:\\vesk\\LR1.B_G"},
      {"\tLR1 ", "\tLR1"},
      {"      ", ""},
      {long_name, std::string_view(long_name).substr(0, 259)},
      {padded, std::string_view(padded).substr(2, 257)},  // "tail" lies past 259
  };
  for (const Case& c : cases) {
    EXPECT_EQ(inquiry_name(c.name), c.prepared) << "\"" << c.name << "\"";
  }
}

TEST(HostRulesTest, DeviceNamesByTheirPartBeforeTheLastDot) {
  struct Case {
    std::string_view name;
    DeviceName device;
  };
  const Case cases[] = {
      {"CON", DeviceName::kConsole},     {"con", DeviceName::kConsole},
      {"Con.txt", DeviceName::kConsole}, {"CON.", DeviceName::kConsole},
      {"CON.log", DeviceName::kNone},    {"nul.Upd", DeviceName::kNone},
      {"prn.exe", DeviceName::kNone},    {"NUL", DeviceName::kOther},
      {"lpt4.dat", DeviceName::kOther},  {"USER", DeviceName::kOther},
      {"LINE.x", DeviceName::kOther},    {"ERR", DeviceName::kOther},
      {"COM5", DeviceName::kNone},       {"CONX", DeviceName::kNone},
      {"c:\\con", DeviceName::kNone},    {"nul.x.y", DeviceName::kNone},
      {"", DeviceName::kNone},           {"LR1.B_G", DeviceName::kNone},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(device_name(c.name), c.device) << "\"" << c.name << "\"";
  }
}

TEST(HostRulesTest, ArgumentLineJoinsTheWordsOfTheTailBySingleBlanks) {
  struct Case {
    std::string_view program;
    std::string_view tail;
    std::string_view line;
  };
  const Case cases[] = {
      // The feeder's move: the blanks padding the local path disappear.
      {"cmd.exe",
       "/c move /Y c:\\vesk\\data\\latest\\LR0001.B_G          c:\\vesk\\data\\stored\\     ",
       "cmd.exe /c move /Y c:\\vesk\\data\\latest\\LR0001.B_G c:\\vesk\\data\\stored\\"},
      {"prog", "  \t a\t\tb  c", "prog a b c"},
      {"prog", "", "prog"},
      {"prog", "   \t  ", "prog"},
      {"prog", "\"a b\"", "prog \"a b\""},  // quotes are plain characters
  };
  for (const Case& c : cases) {
    EXPECT_EQ(argument_line(c.program, c.tail), c.line) << "tail \"" << c.tail << "\"";
  }
}

TEST(HostRulesTest, PathEntriesEndAtSemicolonsOutsideQuotes) {
  struct Case {
    std::string_view path;
    std::vector<std::string> entries;
  };
  const Case cases[] = {
      {"c:\\a;c:\\b\\", {"c:\\a", "c:\\b\\"}},
      {"\"c:\\x;y\";d", {"c:\\x;y", "d"}},
      {"a\"b\"c", {"abc"}},
      {"a;;b", {"a", "", "b"}},  // the search stops at the empty one
      {"a;", {"a", ""}},
      {"", {""}},
      {"\"\"", {""}},
  };
  for (const Case& c : cases) {
    PathEntries reader(c.path);
    std::vector<std::string> got;
    std::string entry;
    while (reader.next(entry)) got.push_back(entry);
    EXPECT_EQ(got, c.entries) << "PATH \"" << c.path << "\"";
  }
}

TEST(HostRulesTest, PathPieces) {
  EXPECT_TRUE(is_network_path("\\\\server\\share"));
  EXPECT_TRUE(is_network_path("//server/share"));
  EXPECT_TRUE(is_network_path("\\/server"));
  EXPECT_FALSE(is_network_path("\\dir"));
  EXPECT_FALSE(is_network_path("c:\\\\dir"));

  EXPECT_EQ(last_component("c:\\a\\b.exe"), "b.exe");
  EXPECT_EQ(last_component("dir.d\\prog"), "prog");  // a dot in the directory does not count
  EXPECT_EQ(last_component("a/b"), "b");
  EXPECT_EQ(last_component("c:prog"), "prog");
  EXPECT_EQ(last_component("prog"), "prog");
  EXPECT_EQ(last_component("c:\\dir\\"), "");
}

TEST(HostRulesTest, TzGivesTheStandardOffsetOrNothing) {
  struct Case {
    std::string_view tz;
    std::optional<std::int32_t> offset;
  };
  const Case cases[] = {
      {"EST5EDT", 18000},
      {"UTC0", 0},
      {"CET-1", -3600},
      {"XYZ+3:30", 12600},
      {"IST-5:30", -19800},
      {"ABC1:2:3", 3723},
      {"<+03>-3", -10800},
      {"Europe/Berlin", {}},
      {"EST", {}},
      {"5", {}},
      {"", {}},
      {"ABC7:75", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tz_standard_offset(c.tz), c.offset) << "TZ \"" << c.tz << "\"";
  }
}

TEST(HostRulesTest, SecondsSince1970FromLocalTimeAndOffset) {
  struct Case {
    int year, month, day, hour, minute, second;
    std::int32_t offset;
    std::int32_t seconds;
  };
  const Case cases[] = {
      {1970, 1, 1, 0, 0, 0, 0, 0},
      {2000, 1, 1, 0, 0, 0, 0, 946684800},
      {2000, 3, 1, 0, 0, 0, 0, 951868800},  // after a leap day
      {2024, 2, 29, 12, 0, 0, 0, 1709208000},
      {2000, 1, 1, 0, 0, 0, 18000, 946684800 + 18000},  // five hours west
      {1970, 1, 1, 5, 0, 0, -3600, 14400},
      {2038, 1, 19, 3, 14, 7, 0, INT32_MAX},
      {2038, 1, 19, 3, 14, 8, 0, -1},  // would wrap
      {2038, 12, 31, 0, 0, 0, 0, -1},
      {1970, 1, 1, 0, 30, 0, -3600, -1},  // before 1970 in UTC
      {1969, 12, 31, 23, 59, 59, 0, -1},
      {2039, 1, 1, 0, 0, 0, -86400, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(seconds_since_1970(c.year, c.month, c.day, c.hour, c.minute, c.second, c.offset),
              c.seconds)
        << c.year << "-" << c.month << "-" << c.day << " " << c.hour << ":" << c.minute << ":"
        << c.second << " offset " << c.offset;
  }
}

}  // namespace
}  // namespace quorvane
