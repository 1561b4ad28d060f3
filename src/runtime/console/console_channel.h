// The console channel: records handed to standard output in pieces of at most
// 132 characters, with the first character of each record taken as carriage
// control and each line's end deferred until the next record or the stop.
//
// Each carriage-control sequence and each non-empty piece is one write. A
// piece that the device refuses for want of space or access raises a fault
// and drops the rest of the record; other write failures lose the piece only.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace quorvane {

class ConsoleChannel {
 public:
  static constexpr std::size_t kBufferSize = 132;

  constexpr ConsoleChannel() = default;

  // Starts a record: the buffer is empty and no character is taken yet.
  void begin_record();
  // Places characters into the record; a full buffer is handed over first.
  void put(char c);
  void put(std::string_view text);
  // Hands over what the buffer holds as the record's last piece and marks the
  // line open. A record with no character shows as an empty line. False when
  // the record was dropped by a fault.
  bool end_record();
  // Drops every character of the current record not yet handed over.
  void discard_record();

  // False once a fault has dropped the current record: the statement that
  // builds it is abandoned, and its further characters go nowhere until the
  // next record begins.
  bool record_alive() const { return !abandoned_; }
  bool line_open() const { return line_open_; }

  // The start state: empty buffer, line not open.
  void reset();

 private:
  void hand_over();

  std::array<char, kBufferSize> buffer_{};
  std::size_t fill_ = 0;
  std::size_t count_ = 0;
  bool control_taken_ = false;
  bool abandoned_ = false;
  bool line_open_ = false;
};

// The one console channel of the process.
ConsoleChannel& console_channel();

}  // namespace quorvane
