// The process start: the run-time made ready before the feeder's main runs.
#pragma once

namespace quorvane {

// Empties the console channel, the frame chain, the connected units and the
// exit-step mark: the state of a process that has just started. Used by start
// and by tests.
void reset_runtime();

// Takes the standard streams as they are, creates the units, empties the
// frame chain, sets up the floating-point traps, registers the exit step and
// calls entry. Entry ends the process itself; should it return, the process
// ends as after a stop with no message.
[[noreturn]] void start_process(void (*entry)());

}  // namespace quorvane
