// Run-time faults: a report and a traceback on standard error, then status 1.
//
// Every fault of the program goes through raise_fault. A fault is never
// returned to the statement that caused it, with one exception: while the exit
// step already runs, the report is written and raise_fault returns, so the
// caller must leave its state sound after the call.
#pragma once

#include <string_view>

namespace quorvane {

enum class FaultClass : int {
  kIo = 0,  // input/output, no statement named
  kClose = 1,
  kWrite = 2,
  kEndfile = 3,
  kInquire = 4,
  kLocking = 5,
  kOpen = 6,
  kRead = 7,
  kRewind = 8,
  kBackspace = 9,
  kEof = 10,
  kDebug = 11,  // checks made by the routines themselves
  kAllocate = 12,
  kDeallocate = 13,
  kBeginThread = 14,
  kMath = 15,
  kService = 16,  // services outside any statement
  kQwin = 17,
};

// Each code has one fixed letter, number and message.
enum class FaultCode {
  kSubstringRange,      // F6096
  kIntegerOverflow,     // F6099
  kShortOverflow,       // F6106
  kTextForInteger,      // F6205
  kRealForInteger,      // F6206
  kAccessDenied,        // F6421
  kNoSpace,             // F6422
  kInternalRecordFull,  // F6600
  kFreeFieldTooWide,    // F6602
  kNoMemory,            // F6700
  kFloatInvalid,        // M6101
  kFloatDivideByZero,   // M6103
  kFloatOverflow,       // M6104
  kFormatMismatch,      // F6207: a format text that cannot be read, or a number met by A
};

// Unit names of the input/output classes.
inline constexpr std::string_view kConsoleUnit = "CON";
inline constexpr std::string_view kInternalUnit = "internal";

// The pieces of one report. raise_fault takes them from its code.
struct FaultReport {
  char letter;  // 'M' for floating point, 'F' for every other fault
  int number;
  FaultClass fault_class;
  std::string_view unit;  // input/output classes only; may be empty
  std::string_view message;
};

// The fixed letter, number and message of a code.
FaultReport fault_report_for(FaultCode code, FaultClass fault_class, std::string_view unit);

// Writes the report and, when routines are active, the traceback, which takes
// every frame off the chain. Failures to write are not noticed.
void write_fault_report(const FaultReport& report);

// Reports the fault and ends the process with status 1. Returns only when the
// exit step is already running.
void raise_fault(FaultCode code, FaultClass fault_class, std::string_view unit = {});

// Class 11 checks of the feeder's own guarded operations.
void fault_substring_range();
void fault_integer_overflow();
void fault_short_overflow();

// Class 16: memory for a record, a unit or a joined text cannot be obtained.
void fault_no_memory();

}  // namespace quorvane
