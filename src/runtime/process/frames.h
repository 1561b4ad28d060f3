// The frame chain: where each active routine of the feeder is, for tracebacks.
//
// A routine pushes its own frame first, stores the source line before every
// statement that can fault or call, and pops the frame when it returns. The
// main routine never returns, so its frame stays on the chain to the end.
#pragma once

#include <cstdint>

namespace quorvane {

struct RoutineFrame {
  RoutineFrame* link = nullptr;        // the caller's frame; none for main
  const char* source_file = "";        // e.g. "Quorvane"
  const char* routine_name = nullptr;  // nullptr marks the main routine
  std::int32_t line = 0;
};

void push_frame(RoutineFrame& frame);
void pop_frame();

// The innermost active frame, or nullptr when the chain is empty.
RoutineFrame* frame_chain_head();
void clear_frame_chain();

}  // namespace quorvane
