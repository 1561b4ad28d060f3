#include "runtime/host/host_rules.h"

#include <array>

namespace quorvane {

namespace {

constexpr char upper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (upper(a[i]) != upper(b[i])) return false;
  }
  return true;
}

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }
constexpr bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool is_separator(char c) { return c == '\\' || c == '/'; }

// Reads 1 or 2 digits at text[pos]; nothing when there is no digit.
std::optional<int> read_number(std::string_view text, std::size_t& pos) {
  if (pos >= text.size() || !is_digit(text[pos])) return std::nullopt;
  int value = 0;
  for (int digits = 0; digits < 2 && pos < text.size() && is_digit(text[pos]); ++digits, ++pos) {
    value = value * 10 + (text[pos] - '0');
  }
  return value;
}

// Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
std::int64_t days_since_1970(int year, int month, int day) {
  const std::int64_t y = year - (month <= 2 ? 1 : 0);
  const std::int64_t era = y / 400;  // years here are never negative
  const std::int64_t year_of_era = y - era * 400;
  const std::int64_t shifted_month = month > 2 ? month - 3 : month + 9;  // March is 0
  const std::int64_t day_of_year = (153 * shifted_month + 2) / 5 + day - 1;
  const std::int64_t day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

}  // namespace

Failure classify_failure(std::uint32_t win32_error) {
  switch (win32_error) {
    case 2:    // file not found
    case 3:    // path not found
    case 15:   // invalid drive
    case 53:   // network path not found
    case 67:   // network name not found
    case 123:  // the name is malformed
    case 161:  // bad path name
    case 206:  // name too long
      return Failure::kNotFound;
    case 5:    // access denied
    case 21:   // device not ready
    case 32:   // sharing violation
    case 33:   // lock violation
    case 36:   // too many files opened for sharing
    case 65:   // network access denied
    case 108:  // drive locked
      return Failure::kAccessDenied;
    default:
      return Failure::kOther;
  }
}

bool is_end_of_search(std::uint32_t win32_error) {
  return win32_error == 2 || win32_error == 3 || win32_error == 18;
}

std::int32_t recorded_error_number(std::uint32_t last_error) {
  constexpr std::uint32_t kTag = 0x2fff0000U;
  if ((last_error & kTag) != kTag) return 0;
  return static_cast<std::int32_t>(last_error & 0xd000ffffU);
}

std::int16_t entry_attributes(std::uint32_t attributes) {
  if (attributes == 0x80U) return 0;
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(attributes & 0xffffU));
}

std::string_view inquiry_name(std::string_view name) {
  name = name.substr(0, 259);
  const std::size_t first = name.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  const std::size_t last = name.find_last_not_of(' ');
  return name.substr(first, last - first + 1);
}

DeviceName device_name(std::string_view name) {
  static constexpr std::array<std::string_view, 15> kDevices = {
      "CON",  "USER", "PRN",  "COM1", "COM2", "COM3", "COM4", "LPT1",
      "LPT2", "LPT3", "LPT4", "NUL",  "AUX",  "ERR",  "LINE"};
  const std::size_t dot = name.rfind('.');
  const std::string_view stem = dot == std::string_view::npos ? name : name.substr(0, dot);
  if (stem.size() != 3 && stem.size() != 4) return DeviceName::kNone;
  if (dot != std::string_view::npos && dot + 1 < name.size()) {
    const char after = upper(name[dot + 1]);
    if (after == 'E' || after == 'L' || after == 'U') return DeviceName::kNone;
  }
  for (std::string_view device : kDevices) {
    if (equals_ignoring_case(stem, device)) {
      return device == "CON" ? DeviceName::kConsole : DeviceName::kOther;
    }
  }
  return DeviceName::kNone;
}

std::string argument_line(std::string_view program, std::string_view tail) {
  std::string line(program);
  std::size_t pos = 0;
  while (true) {
    while (pos < tail.size() && (tail[pos] == ' ' || tail[pos] == '\t')) ++pos;
    if (pos == tail.size()) break;
    const std::size_t end = tail.find_first_of(" \t", pos);
    const std::string_view word =
        tail.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
    line += ' ';
    line += word;
    pos += word.size();
  }
  return line;
}

bool PathEntries::next(std::string& entry) {
  if (done_) return false;
  entry.clear();
  bool quoted = false;
  std::size_t pos = 0;
  for (; pos < rest_.size(); ++pos) {
    const char c = rest_[pos];
    if (c == '"') {
      quoted = !quoted;
    } else if (c == ';' && !quoted) {
      break;
    } else {
      entry += c;
    }
  }
  if (pos == rest_.size()) {
    done_ = true;
  } else {
    rest_.remove_prefix(pos + 1);
  }
  return true;
}

bool is_network_path(std::string_view entry) {
  return entry.size() >= 2 && is_separator(entry[0]) && is_separator(entry[1]);
}

std::string_view last_component(std::string_view path) {
  const std::size_t cut = path.find_last_of("\\/:");
  return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

std::optional<std::int32_t> tz_standard_offset(std::string_view tz) {
  std::size_t pos = 0;
  if (pos < tz.size() && tz[pos] == '<') {  // a quoted name such as <+03>
    pos = tz.find('>');
    if (pos == std::string_view::npos) return std::nullopt;
    ++pos;
  } else {
    while (pos < tz.size() && is_letter(tz[pos])) ++pos;
    if (pos == 0) return std::nullopt;
  }
  int sign = 1;
  if (pos < tz.size() && (tz[pos] == '+' || tz[pos] == '-')) {
    if (tz[pos] == '-') sign = -1;
    ++pos;
  }
  const std::optional<int> hours = read_number(tz, pos);
  if (!hours || *hours > 24) return std::nullopt;
  int minutes = 0;
  int seconds = 0;
  if (pos < tz.size() && tz[pos] == ':') {
    ++pos;
    const std::optional<int> m = read_number(tz, pos);
    if (!m || *m > 59) return std::nullopt;
    minutes = *m;
    if (pos < tz.size() && tz[pos] == ':') {
      ++pos;
      const std::optional<int> s = read_number(tz, pos);
      if (!s || *s > 59) return std::nullopt;
      seconds = *s;
    }
  }
  return sign * (*hours * 3600 + minutes * 60 + seconds);
}

std::int32_t seconds_since_1970(int year, int month, int day, int hour, int minute, int second,
                                std::int32_t standard_offset) {
  if (year < 1970 || year > 2038) return -1;
  const std::int64_t clock = (std::int64_t{hour} * 60 + minute) * 60 + second;
  const std::int64_t seconds = days_since_1970(year, month, day) * 86400 + clock + standard_offset;
  // Late 2038 and offsets across the ends would wrap a 32-bit count.
  if (seconds < 0 || seconds > INT32_MAX) return -1;
  return static_cast<std::int32_t>(seconds);
}

}  // namespace quorvane
