#include "runtime/process/ending.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/console/records.h"
#include "runtime/process/fault.h"
#include "runtime/process/frames.h"
#include "runtime/process/recording_platform.h"

namespace quorvane {
namespace {

int end_status(void (*ending)()) {
  try {
    ending();
  } catch (const ProcessEnded& ended) {
    return ended.status;
  }
  ADD_FAILURE() << "the ending returned";
  return -999;
}

// The exit step's CR LF comes exactly when a record's line is open, after a
// stop as after a fault.
TEST(Ending, LineEndExactlyWhenLineOpen) {
  const struct {
    const char* name;
    void (*ending)();
    std::vector<std::string> stdout_writes;
    int status;
    bool record_first;
  } cases[] = {
      {"end, no record", [] { end_process(0); }, {}, 0, false},
      {"end after record", [] { end_process(0); }, {"ab", "\r\n"}, 0, true},
      {"stop, no record", [] { stop_run("done"); }, {"done\r\n"}, 0, false},
      {"stop after record", [] { stop_run("done"); }, {"ab", "\r\n", "done\r\n", "\r\n"}, 0, true},
      {"plain stop after record",
       [] { stop_run(); },
       {"ab", "\r\n", "Stop - Program terminated.\r\n", "\r\n"},
       0,
       true},
      {"fault, no record", fault_integer_overflow, {}, 1, false},
      {"fault after record", fault_integer_overflow, {"ab", "\r\n"}, 1, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RecordingPlatform host;
    if (c.record_first) write_formatted_record("(a)", {" ab"});
    EXPECT_EQ(end_status(c.ending), c.status);
    EXPECT_EQ(host.stdout_writes(), c.stdout_writes);
    EXPECT_EQ(host.flush_count(), 1);
    EXPECT_TRUE(exit_step_running());
  }
}

TEST(Ending, ExitStepRunsOnce) {
  RecordingPlatform host;
  write_formatted_record("(a)", {" ab"});
  EXPECT_EQ(end_status([] { end_process(0); }), 0);
  EXPECT_EQ(end_status([] { end_process(1); }), 1);
  exit_step();
  EXPECT_EQ(host.stdout_bytes(), "ab\r\n");
}

std::vector<std::string>* g_closed = nullptr;

TEST(Ending, UnitsClosedInOrderBeforeLineEnd) {
  RecordingPlatform host;
  std::vector<std::string> closed;
  g_closed = &closed;
  write_formatted_record("(a)", {" ab"});
  ASSERT_TRUE(connect_unit([] { g_closed->push_back("first"); }));
  ASSERT_TRUE(connect_unit([] {
    g_closed->push_back("second");
    // The console's line is still open while units close.
    platform().write_stdout("<unit>");
  }));
  EXPECT_EQ(end_status([] { end_process(0); }), 0);
  EXPECT_EQ(closed, (std::vector<std::string>{"first", "second"}));
  EXPECT_EQ(host.stdout_bytes(), "ab<unit>\r\n");
  g_closed = nullptr;
}

TEST(Ending, ConnectedUnitsAreBounded) {
  RecordingPlatform host;
  for (int i = 0; i < kMaxConnectedUnits; ++i) EXPECT_TRUE(connect_unit([] {}));
  EXPECT_FALSE(connect_unit([] {}));
  EXPECT_FALSE(connect_unit(nullptr));
}

// A fault while the exit step runs is reported in full, starts no second
// ending, and the first ending keeps its status.
class FaultDuringExitStep : public ::testing::Test {
 protected:
  void SetUp() override {
    main_frame_.source_file = "Quorvane";
    main_frame_.line = 40;
    push_frame(main_frame_);
    write_formatted_record("(a)", {" ab"});
    // A unit whose close runs a routine that faults.
    ASSERT_TRUE(connect_unit([] {
      RoutineFrame close_frame;
      push_frame(close_frame);
      close_frame.source_file = "Closer";
      close_frame.routine_name = "CLOSER";
      close_frame.line = 7;
      raise_fault(FaultCode::kNoSpace, FaultClass::kClose, kConsoleUnit);
      platform().write_stdout("<after>");
    }));
  }

  static std::string report(std::string_view position, std::string_view first_line, FaultCode code,
                            std::string_view traceback) {
    return "\r\n" + std::string(position) + "run-time error " + std::string(first_line) + "\r\n- " +
           std::string(fault_report_for(code, FaultClass::kIo, "").message) +
           "\r\n\r\nExecution traceback:\r\n" + std::string(traceback);
  }

  RecordingPlatform host_;
  RoutineFrame main_frame_;
};

TEST_F(FaultDuringExitStep, AfterStop) {
  EXPECT_EQ(end_status([] { stop_run("done"); }), 0);
  EXPECT_EQ(host_.stderr_bytes(), report("Closer(7) : ", "F6422: CLOSE(CON)", FaultCode::kNoSpace,
                                         "\t\tfrom CLOSER in Closer(7)\r\n"
                                         "\t\tfrom main program in Quorvane(40)\r\n"));
  EXPECT_EQ(host_.stdout_writes(),
            (std::vector<std::string>{"ab", "\r\n", "done\r\n", "<after>", "\r\n"}));
  EXPECT_EQ(frame_chain_head(), nullptr);
}

TEST_F(FaultDuringExitStep, AfterFault) {
  EXPECT_EQ(end_status(fault_substring_range), 1);
  // The first traceback emptied the chain: only the closer's frame is left.
  EXPECT_EQ(host_.stderr_bytes(),
            report("Quorvane(40) : ", "F6096: $DEBUG", FaultCode::kSubstringRange,
                   "\t\tfrom main program in Quorvane(40)\r\n") +
                report("Closer(7) : ", "F6422: CLOSE(CON)", FaultCode::kNoSpace,
                       "\t\tfrom CLOSER in Closer(7)\r\n"));
  EXPECT_EQ(host_.stdout_writes(), (std::vector<std::string>{"ab", "<after>", "\r\n"}));
  EXPECT_EQ(host_.flush_count(), 1);
}

}  // namespace
}  // namespace quorvane
