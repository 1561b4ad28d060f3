#include "runtime/process/fault.h"

#include <gtest/gtest.h>

#include <string>

#include "runtime/process/frames.h"
#include "runtime/process/recording_platform.h"

namespace quorvane {
namespace {

struct ReportCase {
  FaultClass fault_class;
  std::string_view unit;
  std::string_view message;
  std::string_view expected;
};

// With no routine active: no source position and no traceback.
TEST(FaultReport, ShapeOfEachClassWithEmptyChain) {
  const ReportCase cases[] = {
      {FaultClass::kWrite, "CON", "disk full",
       "\r\nrun-time error F6001: WRITE(CON)\r\n- disk full\r\n"},
      // No message: the first line ends at ")", and the message's own line is empty.
      {FaultClass::kWrite, "internal", "", "\r\nrun-time error F6001: WRITE(internal)\r\n\r\n"},
      {FaultClass::kIo, "", "m", "\r\nrun-time error F6001: ()\r\n- m\r\n"},
      {FaultClass::kClose, "CON", "m", "\r\nrun-time error F6001: CLOSE(CON)\r\n- m\r\n"},
      {FaultClass::kEof, "CON", "", "\r\nrun-time error F6001: EOF(CON)\r\n\r\n"},
      {FaultClass::kDebug, "", "m", "\r\nrun-time error F6001: $DEBUG\r\n- m\r\n"},
      {FaultClass::kDebug, "", "", "\r\nrun-time error F6001: $DEBUG\r\n- \r\n"},
      {FaultClass::kAllocate, "", "m", "\r\nrun-time error F6001: ALLOCATE\r\n- m\r\n"},
      {FaultClass::kDeallocate, "", "m", "\r\nrun-time error F6001: DEALLOCATE\r\n- m\r\n"},
      {FaultClass::kBeginThread, "", "m", "\r\nrun-time error F6001: BEGINTHREAD\r\n- m\r\n"},
      {FaultClass::kMath, "", "m", "\r\nrun-time error F6001: MATH\r\n- m\r\n"},
      {FaultClass::kService, "", "m", "\r\nrun-time error F6001\r\n- m\r\n"},
      {FaultClass::kService, "", "", "\r\nrun-time error F6001\r\n- \r\n"},
      {FaultClass::kQwin, "", "m", "\r\nrun-time error F6001: QWIN\r\n- m\r\n"},
      // A unit given to a class without one is not shown.
      {FaultClass::kDebug, "CON", "m", "\r\nrun-time error F6001: $DEBUG\r\n- m\r\n"},
  };
  for (const ReportCase& c : cases) {
    RecordingPlatform host;
    write_fault_report({'F', 6001, c.fault_class, c.unit, c.message});
    EXPECT_EQ(host.stderr_bytes(), c.expected) << "class " << static_cast<int>(c.fault_class);
    EXPECT_TRUE(host.stdout_writes().empty());
  }
}

class FaultWithFrames : public ::testing::Test {
 protected:
  void SetUp() override {
    main_frame_.source_file = "Quorvane";
    main_frame_.line = 57;
    runin_frame_.source_file = "Quorvane";
    runin_frame_.routine_name = "RUNIN";
    runin_frame_.line = 212;
  }

  RecordingPlatform host_;
  RoutineFrame main_frame_;
  RoutineFrame runin_frame_;
};

TEST_F(FaultWithFrames, TwoFrameTracebackEmptiesChain) {
  push_frame(main_frame_);
  push_frame(runin_frame_);
  write_fault_report({'F', 6422, FaultClass::kWrite, "CON", "no space"});
  EXPECT_EQ(host_.stderr_bytes(),
            "\r\nQuorvane(212) : run-time error F6422: WRITE(CON)\r\n"
            "- no space\r\n"
            "\r\n"
            "Execution traceback:\r\n"
            "\t\tfrom RUNIN in Quorvane(212)\r\n"
            "\t\tfrom main program in Quorvane(57)\r\n");
  EXPECT_EQ(frame_chain_head(), nullptr);
}

TEST_F(FaultWithFrames, MainAloneIsMainProgram) {
  push_frame(main_frame_);
  write_fault_report({'F', 6096, FaultClass::kDebug, "", ""});
  EXPECT_EQ(host_.stderr_bytes(),
            "\r\nQuorvane(57) : run-time error F6096: $DEBUG\r\n- \r\n"
            "\r\nExecution traceback:\r\n"
            "\t\tfrom main program in Quorvane(57)\r\n");
}

TEST_F(FaultWithFrames, PoppedFrameLeavesCallerInnermost) {
  push_frame(main_frame_);
  push_frame(runin_frame_);
  pop_frame();
  main_frame_.line = 60;
  write_fault_report({'F', 6600, FaultClass::kWrite, "internal", ""});
  EXPECT_EQ(host_.stderr_bytes(),
            "\r\nQuorvane(60) : run-time error F6600: WRITE(internal)\r\n\r\n"
            "\r\nExecution traceback:\r\n"
            "\t\tfrom main program in Quorvane(60)\r\n");
}

// Longer than the report's own buffer: nothing may be cut or repeated.
TEST_F(FaultWithFrames, LongSourceNameKeptWhole) {
  const std::string source(700, 'S');
  main_frame_.source_file = source.c_str();
  main_frame_.line = -3;
  push_frame(main_frame_);
  write_fault_report({'F', 6099, FaultClass::kDebug, "", "x"});
  EXPECT_EQ(host_.stderr_bytes(),
            "\r\n" + source + "(-3) : run-time error F6099: $DEBUG\r\n- x\r\n" +
                "\r\nExecution traceback:\r\n\t\tfrom main program in " + source + "(-3)\r\n");
}

TEST_F(FaultWithFrames, RaiseFaultReportsAndEndsWithStatusOne) {
  push_frame(main_frame_);
  push_frame(runin_frame_);
  try {
    raise_fault(FaultCode::kNoSpace, FaultClass::kWrite, kConsoleUnit);
    FAIL() << "raise_fault returned";
  } catch (const ProcessEnded& ended) {
    EXPECT_EQ(ended.status, 1);
  }
  const std::string& report = host_.stderr_bytes();
  EXPECT_EQ(report.rfind("\r\nQuorvane(212) : run-time error F6422: WRITE(CON)\r\n- ", 0), 0u)
      << report;
  EXPECT_NE(report.find("\t\tfrom RUNIN in Quorvane(212)\r\n\t\tfrom main program in Quorvane(57)"
                        "\r\n"),
            std::string::npos)
      << report;
  EXPECT_EQ(frame_chain_head(), nullptr);
  EXPECT_EQ(host_.flush_count(), 1);
}

// Each code keeps its letter and number; the floating-point messages are fixed.
TEST(FaultCodes, LetterNumberAndMessage) {
  const struct {
    void (*raise)();
    std::string_view first_line;
  } cases[] = {
      {fault_substring_range, "run-time error F6096: $DEBUG\r\n- "},
      {fault_integer_overflow, "run-time error F6099: $DEBUG\r\n- "},
      {fault_short_overflow, "run-time error F6106: $DEBUG\r\n- "},
      {fault_no_memory, "run-time error F6700\r\n- "},
      {[] { raise_fault(FaultCode::kTextForInteger, FaultClass::kWrite, "CON"); },
       "run-time error F6205: WRITE(CON)\r\n- "},
      {[] { raise_fault(FaultCode::kRealForInteger, FaultClass::kWrite, "internal"); },
       "run-time error F6206: WRITE(internal)\r\n- "},
      {[] { raise_fault(FaultCode::kAccessDenied, FaultClass::kWrite, "CON"); },
       "run-time error F6421: WRITE(CON)\r\n- "},
      {[] { raise_fault(FaultCode::kInternalRecordFull, FaultClass::kWrite, "internal"); },
       "run-time error F6600: WRITE(internal)\r\n- "},
      {[] { raise_fault(FaultCode::kFreeFieldTooWide, FaultClass::kWrite, "CON"); },
       "run-time error F6602: WRITE(CON)\r\n- "},
      {[] { raise_fault(FaultCode::kFloatInvalid, FaultClass::kMath); },
       "run-time error M6101: MATH\r\n- floating-point error: invalid\r\n"},
      {[] { raise_fault(FaultCode::kFloatDivideByZero, FaultClass::kMath); },
       "run-time error M6103: MATH\r\n- floating-point error: divide by zero\r\n"},
      {[] { raise_fault(FaultCode::kFloatOverflow, FaultClass::kMath); },
       "run-time error M6104: MATH\r\n- floating-point error: overflow\r\n"},
  };
  for (const auto& c : cases) {
    RecordingPlatform host;
    EXPECT_THROW(c.raise(), ProcessEnded);
    EXPECT_EQ(host.exit_status(), 1);
    const std::string& report = host.stderr_bytes();
    const std::string expected = "\r\n" + std::string(c.first_line);
    if (expected.ends_with("- ")) {
      // Whatever the wording, a message is there and ends the line.
      EXPECT_EQ(report.substr(0, expected.size()), expected);
      EXPECT_GT(report.size(), expected.size() + 2) << report;
      EXPECT_TRUE(report.ends_with("\r\n")) << report;
    } else {
      EXPECT_EQ(report, expected);
    }
  }
}

}  // namespace
}  // namespace quorvane
