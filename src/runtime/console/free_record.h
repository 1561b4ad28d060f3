// The layout of a free-form record: a leading blank for carriage control, a
// budget of 79 columns a line, texts split where the line is full, numbers in
// right-justified fields that are never split but moved whole to a new line.
#pragma once

#include <cstddef>
#include <string_view>

#include "runtime/console/console_channel.h"
#include "runtime/console/items.h"

namespace quorvane {

class FreeRecord {
 public:
  static constexpr std::size_t kLineBudget = 79;
  static constexpr std::size_t kIntegerWidth = 11;
  static constexpr std::size_t kRealWidth = 15;

  // Begins the record on the channel.
  explicit FreeRecord(ConsoleChannel& channel);

  void item(const Item& item);
  void text(std::string_view text);
  // A numeric field as laid out, separator and leading blanks included.
  void field(std::string_view field);
  void end();

  // False once a fault has abandoned the record.
  bool alive() const { return channel_.record_alive(); }

 private:
  // Ends the current line of the record and begins the next.
  bool next_record();

  ConsoleChannel& channel_;
  std::size_t budget_ = kLineBudget;
  bool after_number_ = false;
};

}  // namespace quorvane
