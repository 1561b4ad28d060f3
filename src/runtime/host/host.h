// The six host services that the feeder uses, and the host clock.
//
// HostServices is an interface so that the feeder's tests can run against a
// scripted double; the program itself uses the Win32 implementation
// (host_win32.cpp, created by make_windows_host). No service writes a message
// or raises a fault: each reports through its results alone. Every string,
// argument list and buffer a service allocates is released before it returns,
// and every process it starts is waited for and both its handles are closed.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/fixed_text.h"

namespace quorvane {

// Passed in and out of every find_file_info call. Any value but the three
// reserved ones is the host's handle of a search in progress.
using EnumHandle = std::int32_t;
inline constexpr EnumHandle FILE_FIRST = -1;  // set by the caller: start a search
inline constexpr EnumHandle FILE_LAST = -2;   // the search has ended
inline constexpr EnumHandle FILE_ERROR = -3;  // the search failed

struct FileInfo {
  std::int32_t creation_time = -1;  // seconds since 1970 UTC; -1 when unknown
  std::int32_t write_time = -1;
  std::int32_t access_time = -1;
  std::int32_t size = -1;        // low 32 bits of the size
  std::int16_t attributes = -1;  // low 16 attribute bits; 0x80 alone gives 0
  FixedText<255> name;           // the bare entry name, blank-padded

  // -1 in all five numbers, 255 blanks.
  void reset() { *this = FileInfo(); }
};

class HostServices {
 public:
  virtual ~HostServices() = default;

  // The next entry matching pattern (trailing blanks dropped). Result: the
  // length of the found name, 0 when nothing (more) matches or the search failed.
  virtual std::int32_t find_file_info(std::string_view pattern, FileInfo& info,
                                      EnumHandle& handle) = 0;

  // Whether the named file exists, and whether it is the file behind one of
  // the program's own units (its standard input or output).
  virtual void inquire_file(std::string_view name, Logical& exists, Logical& connected) = 0;

  // Whether another program holds the named file open for writing, so that
  // what lies there now may not be the whole file. The check holds the file
  // only for its own instant; false when the file cannot be opened at all.
  virtual Logical file_being_written(std::string_view name) = 0;

  // Removes the named file. True when no file of that name is left: it was
  // removed, or there was none.
  virtual Logical remove_file(std::string_view name) = 0;

  // The lock that lets one run at a time work on this PC, held from the
  // first successful call to the end of the process (a run that ends in any
  // way, killed too, frees it). take_run_lock tries once and tells whether
  // the lock is now held; wait_run_lock returns only once it is, however long
  // another run keeps it or the system refuses it.
  virtual Logical take_run_lock() = 0;
  virtual void wait_run_lock() = 0;

  // seconds: 0 to 4,294,967.
  virtual void pause_seconds(std::int32_t seconds) = 0;

  // Runs the command (trailing blanks dropped) through the command
  // interpreter. True when the interpreter was started and did not end with
  // -1. exit_status receives the interpreter's exit status, which is the
  // command's own; -1 when the interpreter could not be started.
  virtual Logical run_command(std::string_view command, std::int32_t& exit_status) = 0;

  // Starts program with the words of tail as its arguments and waits for it.
  // Result: its exit status; -1 when it cannot be started, memory running
  // out before the start included.
  virtual std::int32_t run_program(std::string_view program, std::string_view tail) = 0;

  // The last number recorded by the program's own tag; 0 when none is.
  virtual std::int32_t last_error_number() = 0;
};

// The host clock: local time as the host's own zone setting gives it, read
// anew at each call.
class HostClock {
 public:
  virtual ~HostClock() = default;
  // Year with all four digits, month 1 to 12, day 1 to 31.
  virtual void local_date(std::int16_t& year, std::int16_t& month, std::int16_t& day) = 0;
  // Hour 0 to 23, minute 0 to 59, second 0 to 59.
  virtual void local_time(std::int16_t& hour, std::int16_t& minute, std::int16_t& second) = 0;
};

}  // namespace quorvane
