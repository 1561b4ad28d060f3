// The frame chain: where each active routine of the feeder is, for tracebacks.
//
// A routine pushes its own frame first, stores the source line before every
// statement that can fault or call (RoutineFrame::at), and pops the frame when it returns. The
// main routine never returns, so its frame stays on the chain to the end.
#pragma once

#include <atomic>
#include <cstdint>

namespace quorvane {

struct RoutineFrame {
  RoutineFrame* link = nullptr;        // the caller's frame; none for main
  const char* source_file = "";        // e.g. "Quorvane"
  const char* routine_name = nullptr;  // nullptr marks the main routine
  std::int32_t line = 0;

  // Stores the line of the statement that follows. The fence keeps the store
  // ahead of that statement's first instruction, so that a trap there, which
  // is reported from a handler, finds this line and not the one before.
  void at(std::int32_t next_line) {
    line = next_line;
    std::atomic_signal_fence(std::memory_order_seq_cst);
  }
};

void push_frame(RoutineFrame& frame);
void pop_frame();

// The innermost active frame, or nullptr when the chain is empty.
RoutineFrame* frame_chain_head();
void clear_frame_chain();

}  // namespace quorvane
