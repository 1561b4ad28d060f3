#include "runtime/console/records.h"

#include <array>
#include <cstring>
#include <memory>
#include <new>

#include "runtime/console/console_channel.h"
#include "runtime/console/format.h"
#include "runtime/console/free_record.h"
#include "runtime/process/ending.h"
#include "runtime/process/fault.h"
#include "runtime/process/platform.h"

namespace quorvane {

namespace {

// Formatted output onto the console channel.
class ConsoleSink {
 public:
  explicit ConsoleSink(ConsoleChannel& channel) : channel_(channel) {}
  void put(std::string_view text) { channel_.put(text); }
  void fill(char c, std::size_t count) {
    for (std::size_t i = 0; i < count && channel_.record_alive(); ++i) channel_.put(c);
  }

 private:
  ConsoleChannel& channel_;
};

// Formatted output into an internal record of fixed length; what would pass
// its end is dropped and noted.
class RecordSink {
 public:
  RecordSink(char* data, std::size_t width) : data_(data), width_(width) {}
  void put(std::string_view text) {
    for (char c : text) put(c);
  }
  void fill(char c, std::size_t count) {
    for (std::size_t i = 0; i < count && !overflow_; ++i) put(c);
  }
  void blank_rest() {
    while (used_ < width_) data_[used_++] = ' ';
  }
  bool overflow() const { return overflow_; }

 private:
  void put(char c) {
    if (used_ == width_) {
      overflow_ = true;
      return;
    }
    data_[used_++] = c;
  }

  char* data_;
  std::size_t width_;
  std::size_t used_ = 0;
  bool overflow_ = false;
};

// Lays out one item by its descriptor. False, with the fault, when the
// descriptor cannot take the item.
template <class Sink>
bool lay_out(const Item& item, const Descriptor& d, Sink& out, FaultCode& fault) {
  if (d.kind == Descriptor::Kind::kA) {
    if (item.is_numeric()) {
      fault = FaultCode::kFormatMismatch;
      return false;
    }
    std::string_view text = item.text();
    if (d.width > text.size()) {
      out.fill(' ', d.width - text.size());
    } else if (d.width != 0) {
      text = text.substr(0, d.width);
    }
    out.put(text);
    return true;
  }
  if (!item.is_integer()) {
    fault =
        item.kind() == Item::Kind::kReal ? FaultCode::kRealForInteger : FaultCode::kTextForInteger;
    return false;
  }
  std::array<char, 12> buffer;
  std::string_view number = integer_text(item.integer(), buffer);
  const std::size_t sign = item.integer() < 0 ? 1 : 0;
  number.remove_prefix(sign);
  const std::size_t zeros = d.min_digits > number.size() ? d.min_digits - number.size() : 0;
  const std::size_t length = sign + zeros + number.size();
  // No width written: as wide as the number.
  const std::size_t width = d.width == 0 ? length : d.width;
  if (length > width) {
    out.fill('*', width);
    return true;
  }
  out.fill(' ', width - length);
  if (sign != 0) out.put("-");
  out.fill('0', zeros);
  out.put(number);
  return true;
}

// Whether the format can lay out this many items at all.
bool format_usable(const FormatCursor& format, std::size_t items) {
  return format.valid() && (items == 0 || format.has_descriptors());
}

}  // namespace

void write_free_record(std::initializer_list<Item> items) {
  FreeRecord record(console_channel());
  for (const Item& item : items) {
    record.item(item);
    if (!record.alive()) return;
  }
  record.end();
}

void write_formatted_record(std::string_view format, std::initializer_list<Item> items) {
  ConsoleChannel& channel = console_channel();
  channel.begin_record();
  FormatCursor cursor(format);
  FaultCode fault = FaultCode::kFormatMismatch;
  if (!format_usable(cursor, items.size())) {
    channel.discard_record();
    raise_fault(fault, FaultClass::kWrite, kConsoleUnit);
    return;
  }
  ConsoleSink sink(channel);
  for (const Item& item : items) {
    Descriptor d;
    if (!cursor.next(d)) {
      // Out of descriptors: the record ends and the format text is read again.
      if (!channel.end_record()) return;
      channel.begin_record();
      cursor.revert();
      cursor.next(d);
    }
    if (!lay_out(item, d, sink, fault)) {
      channel.discard_record();
      raise_fault(fault, FaultClass::kWrite, kConsoleUnit);
      return;
    }
    if (!channel.record_alive()) return;
  }
  channel.end_record();
}

void format_into(FieldRef target, std::string_view format, std::initializer_list<Item> items) {
  FormatCursor cursor(format);
  FaultCode fault = FaultCode::kFormatMismatch;
  if (!format_usable(cursor, items.size())) {
    raise_fault(fault, FaultClass::kWrite, kInternalUnit);
    return;
  }
  // Built apart and then copied, so an item may be a part of the target; a
  // fault before the record is complete leaves the target as it was.
  std::array<char, kMaxFieldWidth> local;
  std::unique_ptr<char[]> wide;
  char* record = local.data();
  if (target.width() > local.size()) {
    wide.reset(new (std::nothrow) char[target.width()]);
    if (!wide) {
      fault_no_memory();
      return;
    }
    record = wide.get();
  }
  RecordSink sink(record, target.width());
  bool past_end = false;
  for (const Item& item : items) {
    Descriptor d;
    // An internal record is one record: a second one would lie past its end.
    if (!cursor.next(d)) {
      past_end = true;
      break;
    }
    if (!lay_out(item, d, sink, fault)) {
      raise_fault(fault, FaultClass::kWrite, kInternalUnit);
      return;
    }
    if (sink.overflow()) {
      past_end = true;
      break;
    }
  }
  sink.blank_rest();
  if (target.width() != 0) std::memcpy(target.data(), record, target.width());
  if (past_end) raise_fault(FaultCode::kInternalRecordFull, FaultClass::kWrite, kInternalUnit);
}

void stop_run() { stop_run("Stop - Program terminated."); }

void stop_run(std::string_view message) {
  // Written unchecked: the run ends with status 0 all the same.
  if (console_channel().line_open()) static_cast<void>(platform().write_stdout("\r\n"));
  std::array<char, 256> local;
  std::unique_ptr<char[]> wide;
  char* line = local.data();
  if (message.size() + 2 > local.size()) {
    wide.reset(new (std::nothrow) char[message.size() + 2]);
    line = wide.get();
  }
  if (line != nullptr) {
    if (!message.empty()) std::memcpy(line, message.data(), message.size());
    line[message.size()] = '\r';
    line[message.size() + 1] = '\n';
    static_cast<void>(platform().write_stdout({line, message.size() + 2}));
  } else {
    // No memory to join them: the same bytes in two writes.
    static_cast<void>(platform().write_stdout(message));
    static_cast<void>(platform().write_stdout("\r\n"));
  }
  end_process(0);
}

bool console_line_open() { return console_channel().line_open(); }

void reset_console() { console_channel().reset(); }

}  // namespace quorvane
