// The rules of the host services that need no host: how a tail becomes an
// argument list, how PATH is read, which names are devices, how an entry's
// local time becomes seconds since 1970, and how host error codes are sorted.
// host_win32.cpp applies them to the Win32 calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane {

// Why a host call failed, as far as the services care.
enum class Failure {
  kNotFound,      // the file, its path, drive or network name does not exist
  kAccessDenied,  // refused, locked or in use, or the device not ready
  kOther,
};
Failure classify_failure(std::uint32_t win32_error);

// Win32 codes 2, 3 and 18: nothing (more) matches the search pattern.
bool is_end_of_search(std::uint32_t win32_error);

// The error number recorded under the program's tag 0x2fff0000, or 0 when the
// value was stored by the host itself.
std::int32_t recorded_error_number(std::uint32_t last_error);

// The attribute field of a found entry: the low 16 bits, 0 for the normal-file
// bit 0x80 alone.
std::int16_t entry_attributes(std::uint32_t attributes);

// The name inquire_file works on: the first 259 characters, without leading
// and trailing blanks.
std::string_view inquiry_name(std::string_view name);

enum class DeviceName {
  kNone,     // a file name
  kConsole,  // CON: the device the console units are opened under
  kOther,    // PRN, NUL, COM1, ...
};
// A name whose part before the last dot is one of the reserved device names,
// unless what follows the last dot begins with E, L or U.
DeviceName device_name(std::string_view name);

// The command line of a program: its name, then the words of the tail (split
// at runs of blanks and tabs), joined by single blanks. Nothing is quoted.
// Throws std::bad_alloc when memory runs out.
std::string argument_line(std::string_view program, std::string_view tail);

// Reads PATH one entry at a time: entries end at semicolons outside double
// quotes, the quotes themselves are dropped.
class PathEntries {
 public:
  explicit PathEntries(std::string_view path) : rest_(path) {}
  // The next entry into entry; false when PATH is exhausted.
  bool next(std::string& entry);

 private:
  std::string_view rest_;
  bool done_ = false;
};

// An entry beginning with two slashes or backslashes.
bool is_network_path(std::string_view entry);

// What follows the last backslash, slash or colon.
std::string_view last_component(std::string_view path);

// The standard offset that TZ gives ("EST5EDT", "CET-1", "XYZ+3:30"), in
// seconds to add to a local time to reach UTC; nothing when TZ holds no offset
// in that form.
std::optional<std::int32_t> tz_standard_offset(std::string_view tz);

// Local calendar time plus the zone's standard offset, as seconds since
// 1970-01-01 00:00:00 UTC; -1 for a year outside 1970 to 2038 or a result that
// does not fit 32 bits.
std::int32_t seconds_since_1970(int year, int month, int day, int hour, int minute, int second,
                                std::int32_t standard_offset);

}  // namespace quorvane
