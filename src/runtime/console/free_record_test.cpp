#include "runtime/console/free_record.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/process/recording_platform.h"

namespace quorvane {
namespace {

TEST(FreeRecordTest, NumericFieldOf79ColumnsOrMoreIsAFault) {
  RecordingPlatform host;
  ConsoleChannel channel;
  {
    FreeRecord record(channel);
    record.field(std::string(78, '9'));
    record.end();
  }
  EXPECT_EQ(host.stdout_bytes(), std::string(78, '9'));

  FreeRecord record(channel);
  record.text("dropped");
  EXPECT_THROW(record.field(std::string(79, '9')), ProcessEnded);
  EXPECT_NE(host.stderr_bytes().find("F6602: WRITE(CON)"), std::string::npos);
  EXPECT_EQ(host.stdout_bytes(), std::string(78, '9'));
}

}  // namespace
}  // namespace quorvane
