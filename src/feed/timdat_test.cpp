#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "feed/feeder.h"
#include "feed/scripted_host.h"
#include "runtime/process/recording_platform.h"

namespace quorvane {
namespace {

// Two columns per number, right-justified with a blank, never a zero; the
// year of the century no longer fits from 2100 on and shows as asterisks.
TEST(TimdatTest, DateAndTimeStamps) {
  struct Case {
    std::int16_t year, month, day, hour, minute, second;
    const char* date;
    const char* time;
  };
  const Case cases[] = {
      {2012, 4, 18, 10, 3, 7, "18- 4-12", "10: 3: 7"},
      {2012, 4, 5, 9, 5, 3, " 5- 4-12", " 9: 5: 3"},
      {2000, 1, 1, 0, 0, 0, " 1- 1- 0", " 0: 0: 0"},
      {2099, 12, 31, 23, 59, 59, "31-12-99", "23:59:59"},
      {2100, 1, 1, 0, 0, 0, " 1- 1-**", " 0: 0: 0"},
      {1999, 12, 31, 23, 59, 59, "31-12--1", "23:59:59"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.date);
    RecordingPlatform platform;
    ScriptedHost host;
    FixedClock clock;
    clock.add_date(c.year, c.month, c.day);
    clock.add_time(c.hour, c.minute, c.second);
    Feeder feeder(host, clock);
    FixedText<8> date("xxxxxxxx");
    FixedText<8> time("xxxxxxxx");
    feeder.TIMDAT(date, time);
    EXPECT_EQ(std::string(date.text()), c.date);
    EXPECT_EQ(std::string(time.text()), c.time);
    EXPECT_TRUE(platform.stdout_bytes().empty());
  }
}

// A year whose distance from 2000 does not fit two bytes is a guarded store.
TEST(TimdatTest, YearOutsideTwoBytesIsAFault) {
  RecordingPlatform platform;
  ScriptedHost host;
  FixedClock clock;
  clock.add_date(-31000, 1, 1);
  Feeder feeder(host, clock);
  FixedText<8> date;
  FixedText<8> time;
  try {
    feeder.TIMDAT(date, time);
    FAIL() << "TIMDAT returned";
  } catch (const ProcessEnded& ended) {
    EXPECT_EQ(ended.status, 1);
  }
  const std::string& err = platform.stderr_bytes();
  EXPECT_EQ(err.rfind("\r\nTIMDAT(", 0), 0U) << err;
  EXPECT_NE(err.find(") : run-time error F6106: $DEBUG\r\n- "), std::string::npos) << err;
  EXPECT_NE(err.find("\r\nExecution traceback:\r\n\t\tfrom TIMDAT in TIMDAT("), std::string::npos)
      << err;
}

}  // namespace
}  // namespace quorvane
