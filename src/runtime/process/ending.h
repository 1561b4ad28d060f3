// The orderly ending of the process and its exit step.
#pragma once

namespace quorvane {

// Runs the exit step (unless it has run or is running), writes out the
// standard streams and ends the process with the status.
[[noreturn]] void end_process(int status);

// Writes CR LF to standard output when the console's line is open. Runs once.
void exit_step();

// Set once the exit step has begun; never cleared within a run.
bool exit_step_running();

}  // namespace quorvane
