#include "runtime/process/frames.h"

namespace quorvane {

namespace {
constinit RoutineFrame* g_head = nullptr;
}  // namespace

void push_frame(RoutineFrame& frame) {
  frame.link = g_head;
  g_head = &frame;
}

void pop_frame() {
  if (g_head != nullptr) g_head = g_head->link;
}

RoutineFrame* frame_chain_head() { return g_head; }

void clear_frame_chain() { g_head = nullptr; }

}  // namespace quorvane
