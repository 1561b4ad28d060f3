#include "runtime/console/free_record.h"

#include <array>

#include "runtime/console/format.h"
#include "runtime/console/real_text.h"
#include "runtime/process/fault.h"

namespace quorvane {

FreeRecord::FreeRecord(ConsoleChannel& channel) : channel_(channel) {
  channel_.begin_record();
  channel_.put(' ');
}

void FreeRecord::item(const Item& item) {
  if (!item.is_numeric()) {
    text(item.text());
    return;
  }
  std::array<char, 12> integer_buffer;
  std::array<char, 16> real_buffer;
  const bool real = item.kind() == Item::Kind::kReal;
  const std::string_view number = real ? free_real_text(item.real(), real_buffer)
                                       : integer_text(item.integer(), integer_buffer);
  const std::size_t width = real ? kRealWidth : kIntegerWidth;
  // Separator, then the number right-justified; the text always fits.
  std::array<char, 1 + kRealWidth> laid_out;
  std::size_t n = 0;
  if (after_number_) laid_out[n++] = ' ';
  for (std::size_t i = number.size(); i < width; ++i) laid_out[n++] = ' ';
  for (char c : number) laid_out[n++] = c;
  field({laid_out.data(), n});
}

void FreeRecord::text(std::string_view text) {
  after_number_ = false;
  while (text.size() >= budget_) {
    channel_.put(text.substr(0, budget_));
    text.remove_prefix(budget_);
    if (!next_record()) return;
  }
  channel_.put(text);
  budget_ -= text.size();
}

void FreeRecord::field(std::string_view field) {
  after_number_ = true;
  if (field.size() >= kLineBudget) {
    channel_.discard_record();
    raise_fault(FaultCode::kFreeFieldTooWide, FaultClass::kWrite, kConsoleUnit);
    return;
  }
  if (field.size() >= budget_) {
    // Moved whole: its leading blank becomes the new line's carriage
    // control, so the line still shows at most 79 characters. A field that
    // fills its width begins with a sign, which must not be taken as control.
    if (!channel_.end_record()) return;
    channel_.begin_record();
    budget_ = kLineBudget + 1;
    if (field.front() != ' ') {
      channel_.put(' ');
      --budget_;
    }
  }
  channel_.put(field);
  budget_ -= field.size();
}

void FreeRecord::end() { channel_.end_record(); }

bool FreeRecord::next_record() {
  if (!channel_.end_record()) return false;
  channel_.begin_record();
  channel_.put(' ');
  budget_ = kLineBudget;
  return true;
}

}  // namespace quorvane
