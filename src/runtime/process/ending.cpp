#include "runtime/process/ending.h"

#include <array>
#include <cstddef>
#include <cstdlib>

#include "runtime/console/records.h"
#include "runtime/process/platform.h"

namespace quorvane {

namespace {

constinit bool g_exit_step_running = false;
constinit std::array<void (*)(), kMaxConnectedUnits> g_units{};
constinit int g_unit_count = 0;

}  // namespace

bool exit_step_running() { return g_exit_step_running; }

bool connect_unit(void (*close)()) {
  if (close == nullptr || g_unit_count == kMaxConnectedUnits) return false;
  g_units[static_cast<std::size_t>(g_unit_count++)] = close;
  return true;
}

void exit_step() {
  if (g_exit_step_running) return;
  g_exit_step_running = true;
  // A unit is disconnected before its close runs, so each closes once.
  for (int i = 0; i < g_unit_count; ++i) {
    void (*close)() = g_units[static_cast<std::size_t>(i)];
    g_units[static_cast<std::size_t>(i)] = nullptr;
    if (close != nullptr) close();
  }
  g_unit_count = 0;
  // Unchecked, like every line end the run writes.
  if (console_line_open()) platform().write_stdout("\r\n");
}

void end_process(int status) {
  exit_step();
  platform().flush_streams();
  platform().exit_process(status);
  std::abort();  // exit_process does not come back; the compiler cannot see it
}

void reset_ending() {
  g_exit_step_running = false;
  g_units.fill(nullptr);
  g_unit_count = 0;
}

}  // namespace quorvane
