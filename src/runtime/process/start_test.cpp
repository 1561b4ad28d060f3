#include "runtime/process/start.h"

#include <gtest/gtest.h>

#include "runtime/console/records.h"
#include "runtime/process/ending.h"
#include "runtime/process/frames.h"
#include "runtime/process/recording_platform.h"

namespace quorvane {
namespace {

bool g_entered = false;
bool g_chain_empty_at_entry = false;
bool g_traps_at_entry = false;

class Start : public ::testing::Test {
 protected:
  void SetUp() override {
    g_entered = false;
    g_chain_empty_at_entry = false;
    g_traps_at_entry = false;
  }
  RecordingPlatform host_;
};

void note_entry() {
  g_entered = true;
  g_chain_empty_at_entry = frame_chain_head() == nullptr;
  g_traps_at_entry = static_cast<RecordingPlatform&>(platform()).float_traps_enabled();
}

// What an earlier run left behind is gone when the process starts.
TEST_F(Start, RunTimeReadyBeforeEntry) {
  RoutineFrame stale;
  push_frame(stale);
  write_formatted_record("(a)", {" stale"});
  try {
    start_process([] {
      note_entry();
      write_formatted_record("(a)", {" first"});
      stop_run("bye");
    });
  } catch (const ProcessEnded& ended) {
    EXPECT_EQ(ended.status, 0);
  }
  EXPECT_TRUE(g_entered);
  EXPECT_TRUE(g_chain_empty_at_entry);
  EXPECT_TRUE(g_traps_at_entry);
  // The first record of the run has no line end before it.
  EXPECT_EQ(host_.stdout_writes(),
            (std::vector<std::string>{"stale", "first", "\r\n", "bye\r\n", "\r\n"}));
}

TEST_F(Start, EntryReturningEndsAsPlainStop) {
  try {
    start_process([] { note_entry(); });
  } catch (const ProcessEnded& ended) {
    EXPECT_EQ(ended.status, 0);
  }
  EXPECT_TRUE(g_entered);
  EXPECT_EQ(host_.stdout_bytes(), "Stop - Program terminated.\r\n");
}

// Without its command line or environment the process ends at once: -1,
// nothing written, no exit step.
TEST_F(Start, NoCommandLineEndsWithMinusOne) {
  host_.set_command_line_available(false);
  write_formatted_record("(a)", {" ab"});
  try {
    start_process([] { note_entry(); });
  } catch (const ProcessEnded& ended) {
    EXPECT_EQ(ended.status, -1);
  }
  EXPECT_FALSE(g_entered);
  EXPECT_FALSE(exit_step_running());
  EXPECT_EQ(host_.stdout_bytes(), "ab");
  EXPECT_EQ(host_.stderr_bytes(), "");
}

}  // namespace
}  // namespace quorvane
