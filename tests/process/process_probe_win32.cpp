// A program of the test suite, not of the product: it uses the run-time as
// the feeder does (main and RUNIN keep frames in source "Quorvane", console
// records, the stop) and, as its one argument asks, ends in a chosen way.
//
//   stop-before  the stop before any record
//   records      records from RUNIN, then the stop
//   plain-stop   records, then the stop with no message
//   fault        a check in RUNIN fails: F6099
//   divide       a float division by zero in RUNIN (SSE): M6103
//   invalid      0/0 in RUNIN: M6101
//   overflow     an overflowing product in RUNIN: M6104
//   line-trap    a division by zero right after its line store in RUNIN, its
//                operands already in registers: the report names that line
//   x87-divide   a long double division by zero in RUNIN (x87 where GCC builds)
//   multiple     a multiple-traps exception with a division by zero pending in
//                the SSE unit's flags, as x64 Windows raises for SSE traps
//   int-divide   an integer division by zero in RUNIN: not a fault report
//   untrapped    underflow, inexact and denormal results, then the stop
//   exit-fault   a unit whose close fails a check while the exit step runs
//   exit-trap    a unit whose close divides by zero while the exit step runs
#include <windows.h>

#include <xmmintrin.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <string_view>

#include "runtime/console/records.h"
#include "runtime/process/ending.h"
#include "runtime/process/fault.h"
#include "runtime/process/frames.h"
#include "runtime/process/platform.h"
#include "runtime/process/start.h"

namespace {

using namespace quorvane;

std::string_view g_scenario;
RoutineFrame g_main_frame;
volatile float g_zero = 0.0F;
volatile float g_real = 0.0F;
volatile long double g_long_zero = 0.0L;
volatile long double g_long_real = 0.0L;
volatile int g_int_zero = 0;
volatile int g_int_result = 0;

bool is(std::string_view scenario) { return g_scenario == scenario; }

void CLOSER() {
  static RoutineFrame frame;
  push_frame(frame);
  frame.source_file = "Quorvane";
  frame.routine_name = "CLOSER";
  frame.line = 40;
  if (is("exit-fault")) fault_integer_overflow();
  if (is("exit-trap")) {
    g_real = 1.0F / g_zero;
    // Goes on with the default result once the report is out.
    platform().write_stderr(std::isinf(g_real) ? "<inf>" : "<not inf>");
  }
  pop_frame();
}

void RUNIN() {
  RoutineFrame frame;
  push_frame(frame);
  frame.source_file = "Quorvane";
  frame.routine_name = "RUNIN";
  frame.line = 20;
  write_free_record({"hndl=", std::int32_t{-1}});
  frame.line = 21;
  write_formatted_record("(a,i10)", {" Exit status of pscp :", std::int32_t{3}});
  frame.line = 22;
  if (is("fault")) fault_integer_overflow();
  frame.line = 23;
  if (is("divide")) g_real = 1.0F / g_zero;
  if (is("invalid")) g_real = g_zero / g_zero;
  if (is("overflow")) g_real = FLT_MAX * (g_zero + 4.0F);
  if (is("x87-divide")) g_long_real = 1.0L / g_long_zero;
  if (is("int-divide")) g_int_result = (g_int_zero + 7) / g_int_zero;
  if (is("multiple")) {
    // MXCSR set directly: wine's control functions clear the flags.
    _mm_setcsr(_mm_getcsr() | 0x1F80U);
    g_real = 1.0F / g_zero;  // masked: leaves only the flag
    // Unmasking does not trap on the SSE unit; the flag stays pending.
    _mm_setcsr(_mm_getcsr() & ~0x0680U);        // invalid, divide, overflow
    RaiseException(0xC00002B5, 0, 0, nullptr);  // STATUS_FLOAT_MULTIPLE_TRAPS
  }
  if (is("line-trap")) {
    const float one = g_real + 1.0F;
    const float zero = g_zero;
    frame.at(24);
    g_real = one / zero;
  }
  if (is("untrapped")) {
    g_real = FLT_MIN * (g_zero + FLT_MIN);
    g_real = (g_zero + 1.0F) / 3.0F;
    g_real = (g_zero + FLT_MIN / 4.0F) * 2.0F;
  }
  pop_frame();
}

void program_main() {
  push_frame(g_main_frame);
  g_main_frame.source_file = "Quorvane";
  g_main_frame.line = 10;
  if (is("stop-before")) stop_run("**Quorvane NORMAL TERMINATION***");
  g_main_frame.line = 11;
  RUNIN();
  g_main_frame.line = 12;
  if (is("exit-fault") || is("exit-trap")) connect_unit(CLOSER);
  g_main_frame.line = 13;
  if (is("plain-stop")) stop_run();
  stop_run("**Quorvane NORMAL TERMINATION***");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) g_scenario = argv[1];
  quorvane::start_process(program_main);
}
