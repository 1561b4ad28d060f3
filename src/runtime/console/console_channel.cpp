#include "runtime/console/console_channel.h"

#include "runtime/process/fault.h"
#include "runtime/process/platform.h"

namespace quorvane {

namespace {

constinit ConsoleChannel g_console;

// The bytes that a record's first character stands for.
std::string_view control_bytes(char control, bool line_open) {
  switch (control) {
    case '0':
      return line_open ? "\r\n\r\n" : "\r\n";
    case '1':
      return "\r\n\f\r \r";
    case '+':
      return "\r";
    default:
      return line_open ? "\r\n" : "";
  }
}

}  // namespace

ConsoleChannel& console_channel() { return g_console; }

void ConsoleChannel::begin_record() {
  fill_ = 0;
  count_ = 0;
  control_taken_ = false;
  abandoned_ = false;
}

void ConsoleChannel::put(char c) {
  if (abandoned_) return;
  if (fill_ == kBufferSize) {
    hand_over();
    if (abandoned_) return;
  }
  buffer_[fill_++] = c;
  ++count_;
}

void ConsoleChannel::put(std::string_view text) {
  for (char c : text) {
    put(c);
    if (abandoned_) return;
  }
}

bool ConsoleChannel::end_record() {
  if (abandoned_) return false;
  if (count_ == 0) put(' ');
  hand_over();
  if (abandoned_) return false;
  line_open_ = true;
  begin_record();
  return true;
}

void ConsoleChannel::discard_record() {
  fill_ = 0;
  count_ = 0;
  control_taken_ = false;
  abandoned_ = true;
}

void ConsoleChannel::reset() {
  begin_record();
  line_open_ = false;
}

void ConsoleChannel::hand_over() {
  std::string_view piece(buffer_.data(), fill_);
  fill_ = 0;
  if (!control_taken_ && !piece.empty()) {
    control_taken_ = true;
    // Written unchecked: a lost line end is no reason to end the run.
    const std::string_view control = control_bytes(piece.front(), line_open_);
    if (!control.empty()) static_cast<void>(platform().write_stdout(control));
    piece.remove_prefix(1);
  }
  if (piece.empty()) return;
  switch (platform().write_stdout(piece)) {
    case WriteResult::kOk:
    case WriteResult::kOtherFailure:  // a closed handle or broken pipe loses the piece only
      return;
    case WriteResult::kNoSpace:
      discard_record();
      raise_fault(FaultCode::kNoSpace, FaultClass::kWrite, kConsoleUnit);
      return;
    case WriteResult::kAccessDenied:
      discard_record();
      raise_fault(FaultCode::kAccessDenied, FaultClass::kWrite, kConsoleUnit);
      return;
  }
}

}  // namespace quorvane
