#include "runtime/process/fault.h"

#include <array>
#include <cstddef>
#include <cstdint>

#include "runtime/process/ending.h"
#include "runtime/process/frames.h"
#include "runtime/process/platform.h"

namespace quorvane {

namespace {

struct CodeEntry {
  char letter;
  int number;
  std::string_view message;
};

// Each code keeps one letter, number and message. A switch, so that a code
// added without its entry does not compile.
CodeEntry code_entry(FaultCode code) {
  switch (code) {
    case FaultCode::kSubstringRange:
      return {'F', 6096, "substring starts outside its text"};
    case FaultCode::kIntegerOverflow:
      return {'F', 6099, "integer overflow"};
    case FaultCode::kShortOverflow:
      return {'F', 6106, "value does not fit a 2-byte integer"};
    case FaultCode::kTextForInteger:
      return {'F', 6205, "I format met a text item"};
    case FaultCode::kRealForInteger:
      return {'F', 6206, "I format met a real item"};
    case FaultCode::kFormatMismatch:
      return {'F', 6207, "format text unreadable, or a number met by an A descriptor"};
    case FaultCode::kAccessDenied:
      return {'F', 6421, "access denied or lock violation on output"};
    case FaultCode::kNoSpace:
      return {'F', 6422, "no space left on device"};
    case FaultCode::kInternalRecordFull:
      return {'F', 6600, "internal record longer than its target"};
    case FaultCode::kFreeFieldTooWide:
      return {'F', 6602, "numeric field too wide for a line"};
    case FaultCode::kNoMemory:
      return {'F', 6700, "insufficient memory"};
    case FaultCode::kFloatInvalid:
      return {'M', 6101, "floating-point error: invalid"};
    case FaultCode::kFloatDivideByZero:
      return {'M', 6103, "floating-point error: divide by zero"};
    case FaultCode::kFloatOverflow:
      return {'M', 6104, "floating-point error: overflow"};
  }
  return {'F', 6000, "unknown fault"};
}

// Indexed by FaultClass.
constexpr std::array<std::string_view, 18> kClassTexts = {{
    ": (",
    ": CLOSE(",
    ": WRITE(",
    ": ENDFILE(",
    ": INQUIRE(",
    ": LOCKING(",
    ": OPEN(",
    ": READ(",
    ": REWIND(",
    ": BACKSPACE(",
    ": EOF(",
    ": $DEBUG\r\n- ",
    ": ALLOCATE\r\n- ",
    ": DEALLOCATE\r\n- ",
    ": BEGINTHREAD\r\n- ",
    ": MATH\r\n- ",
    "\r\n- ",
    ": QWIN\r\n- ",
}};

constexpr int kLastIoClass = static_cast<int>(FaultClass::kEof);

// Collects the report in a fixed buffer: a fault for lack of memory must not
// need any. Flushed when full and at the end.
class StderrWriter {
 public:
  StderrWriter() = default;
  StderrWriter(const StderrWriter&) = delete;
  StderrWriter& operator=(const StderrWriter&) = delete;
  ~StderrWriter() { flush(); }

  void put(std::string_view text) {
    while (!text.empty()) {
      if (used_ == buffer_.size()) flush();
      std::size_t n = buffer_.size() - used_;
      if (n > text.size()) n = text.size();
      for (std::size_t i = 0; i < n; ++i) buffer_[used_ + i] = text[i];
      used_ += n;
      text.remove_prefix(n);
    }
  }

  void put_number(std::int64_t value) {
    std::array<char, 24> digits{};
    std::size_t pos = digits.size();
    std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    do {
      digits[--pos] = static_cast<char>('0' + magnitude % 10);
      magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0) digits[--pos] = '-';
    put(std::string_view(digits.data() + pos, digits.size() - pos));
  }

  void flush() {
    if (used_ == 0) return;
    platform().write_stderr(std::string_view(buffer_.data(), used_));
    used_ = 0;
  }

 private:
  std::array<char, 512> buffer_{};
  std::size_t used_ = 0;
};

std::string_view text_or_empty(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

FaultReport fault_report_for(FaultCode code, FaultClass fault_class, std::string_view unit) {
  const CodeEntry entry = code_entry(code);
  return {entry.letter, entry.number, fault_class, unit, entry.message};
}

void write_fault_report(const FaultReport& report) {
  StderrWriter out;
  RoutineFrame* head = frame_chain_head();
  out.put("\r\n");
  if (head != nullptr) {
    out.put(text_or_empty(head->source_file));
    out.put("(");
    out.put_number(head->line);
    out.put(") : ");
  }
  out.put("run-time error ");
  out.put(std::string_view(&report.letter, 1));
  out.put_number(report.number);
  const int class_index = static_cast<int>(report.fault_class);
  out.put(kClassTexts[static_cast<std::size_t>(class_index)]);
  if (class_index <= kLastIoClass) {
    out.put(report.unit);
    out.put(report.message.empty() ? ")\r\n" : ")\r\n- ");
  }
  out.put(report.message);
  out.put("\r\n");
  if (head == nullptr) return;
  out.put("\r\nExecution traceback:\r\n");
  // Each frame leaves the chain as its line is written.
  while (RoutineFrame* frame = frame_chain_head()) {
    if (frame->routine_name == nullptr) {
      out.put("\t\tfrom main program");
    } else {
      out.put("\t\tfrom ");
      out.put(frame->routine_name);
    }
    out.put(" in ");
    out.put(text_or_empty(frame->source_file));
    out.put("(");
    out.put_number(frame->line);
    out.put(")\r\n");
    pop_frame();
  }
}

void raise_fault(FaultCode code, FaultClass fault_class, std::string_view unit) {
  write_fault_report(fault_report_for(code, fault_class, unit));
  // During the exit step the ending under way keeps its status.
  if (exit_step_running()) return;
  end_process(1);
}

void fault_substring_range() { raise_fault(FaultCode::kSubstringRange, FaultClass::kDebug); }
void fault_integer_overflow() { raise_fault(FaultCode::kIntegerOverflow, FaultClass::kDebug); }
void fault_short_overflow() { raise_fault(FaultCode::kShortOverflow, FaultClass::kDebug); }
void fault_no_memory() { raise_fault(FaultCode::kNoMemory, FaultClass::kService); }

}  // namespace quorvane
