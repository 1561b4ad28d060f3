// The orderly ending of the process and its exit step.
#pragma once

namespace quorvane {

// Runs the exit step (unless it has run or is running), writes out the
// standard streams and ends the process with the status.
[[noreturn]] void end_process(int status);

// Closes the connected units, then writes CR LF to standard output when the
// console's line is open. Runs once.
void exit_step();

// Set once the exit step has begun; never cleared within a run.
bool exit_step_running();

// A unit that the program connected: the exit step calls its close, which
// writes out what the unit still holds (and may fault doing so). Units are
// closed in the order connected. False when no more units can be connected.
inline constexpr int kMaxConnectedUnits = 8;
bool connect_unit(void (*close)());

// Back to a process that has not begun to end; part of reset_runtime.
void reset_ending();

}  // namespace quorvane
