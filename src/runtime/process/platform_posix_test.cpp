// The floating-point traps on the real process, in a child of the test.
#include <gtest/gtest.h>
#include <signal.h>

#include <cfloat>
#include <cmath>
#include <string>

#include "runtime/process/ending.h"
#include "runtime/process/frames.h"
#include "runtime/process/platform.h"
#include "runtime/process/start.h"

namespace quorvane {
namespace {

volatile float g_zero = 0.0F;
volatile float g_result = 0.0F;

void as_started() {
  set_platform(nullptr);
  reset_runtime();
  platform().enable_float_traps();
}

// RUNIN at line 30, called from main at line 12.
void in_runin(void (*operation)()) {
  as_started();
  static RoutineFrame main_frame;
  push_frame(main_frame);
  main_frame.source_file = "Quorvane";
  main_frame.line = 12;
  static RoutineFrame runin_frame;
  push_frame(runin_frame);
  runin_frame.source_file = "Quorvane";
  runin_frame.routine_name = "RUNIN";
  runin_frame.line = 30;
  operation();
  pop_frame();
  end_process(0);
}

std::string trap_report(std::string_view number, std::string_view kind) {
  return "^\r\nQuorvane\\(30\\) : run-time error " + std::string(number) +
         ": MATH\r\n- floating-point error: " + std::string(kind) +
         "\r\n\r\nExecution traceback:\r\n"
         "\t\tfrom RUNIN in Quorvane\\(30\\)\r\n"
         "\t\tfrom main program in Quorvane\\(12\\)\r\n$";
}

TEST(FloatTrapsDeathTest, TrappedKindsBecomeFaults) {
  EXPECT_EXIT(in_runin([] { g_result = 1.0F / g_zero; }), ::testing::ExitedWithCode(1),
              trap_report("M6103", "divide by zero"));
  EXPECT_EXIT(in_runin([] { g_result = g_zero / g_zero; }), ::testing::ExitedWithCode(1),
              trap_report("M6101", "invalid"));
  EXPECT_EXIT(in_runin([] { g_result = FLT_MAX * (g_zero + 4.0F); }), ::testing::ExitedWithCode(1),
              trap_report("M6104", "overflow"));
}

TEST(FloatTrapsDeathTest, UntrappedKindsGoOn) {
  EXPECT_EXIT(in_runin([] {
                g_result = FLT_MIN * (g_zero + FLT_MIN);      // underflow
                g_result = (g_zero + 1.0F) / 3.0F;            // inexact
                g_result = (g_zero + FLT_MIN / 4.0F) * 2.0F;  // denormal operand
              }),
              ::testing::ExitedWithCode(0), "^$");
}

__attribute__((no_sanitize("undefined"))) void divide_integers() {
  volatile int dividend = 7;
  volatile int zero = 0;
  volatile int result = dividend / zero;
  (void)result;
}

// Not a floating-point trap: no report, the platform's own ending.
TEST(FloatTrapsDeathTest, IntegerDivisionIsNotReported) {
  EXPECT_EXIT(in_runin(divide_integers), ::testing::KilledBySignal(SIGFPE), "^$");
}

// While the exit step runs the trap is reported and the operation goes on
// with its default result; the ending keeps its status.
TEST(FloatTrapsDeathTest, TrapDuringExitStepGoesOn) {
  EXPECT_EXIT(
      {
        as_started();
        connect_unit([] {
          g_result = 1.0F / g_zero;
          platform().write_stderr(std::isinf(g_result) ? "<inf>" : "<other>");
        });
        end_process(0);
      },
      ::testing::ExitedWithCode(0),
      "^\r\nrun-time error M6103: MATH\r\n- floating-point error: divide by zero\r\n<inf>$");
}

// No handler of the run-time's own: an interrupt ends the process at once,
// with no report and no exit step.
TEST(InterruptDeathTest, EndsAtOnce) {
  EXPECT_EXIT(
      {
        as_started();
        connect_unit([] { platform().write_stderr("<exit step>"); });
        raise(SIGINT);
        end_process(0);
      },
      ::testing::KilledBySignal(SIGINT), "^$");
}

}  // namespace
}  // namespace quorvane
