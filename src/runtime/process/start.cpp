#include "runtime/process/start.h"

#include "runtime/console/records.h"
#include "runtime/process/ending.h"
#include "runtime/process/frames.h"
#include "runtime/process/platform.h"

namespace quorvane {

void reset_runtime() {
  reset_console();
  clear_frame_chain();
  reset_ending();
}

void start_process(void (*entry)()) {
  // The standard streams are used as the process got them.
  if (!platform().read_command_line_and_environment()) platform().exit_process(-1);
  // The units "CON" and "internal" are static: making them ready cannot run
  // out of memory. Every orderly ending goes through end_process, which runs
  // the exit step once.
  reset_runtime();
  platform().enable_float_traps();
  entry();
  stop_run();
}

}  // namespace quorvane
