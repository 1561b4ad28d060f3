// What the run-time needs of the operating system at the process boundary:
// byte-exact writes to standard output and error, process exit and the
// floating-point traps. One implementation per platform (platform_win32.cpp,
// platform_posix.cpp); tests put a recording double in its place.
#pragma once

#include <string_view>

namespace quorvane {

enum class WriteResult {
  kOk,
  kNoSpace,       // the device is full
  kAccessDenied,  // access denied or a lock violation
  kOtherFailure,  // closed or invalid handle, broken pipe, ...
};

class ProcessPlatform {
 public:
  virtual ~ProcessPlatform() = default;

  // One write of the bytes, unchanged, with no line-end translation.
  virtual WriteResult write_stdout(std::string_view bytes) = 0;
  // Fault reports; a failure is not noticed.
  virtual void write_stderr(std::string_view bytes) = 0;
  // Writes out whatever the standard streams still hold.
  virtual void flush_streams() = 0;
  [[noreturn]] virtual void exit_process(int status) = 0;
  // Traps invalid, divide-by-zero and overflow; the trap becomes an M fault.
  virtual void enable_float_traps() = 0;
  // Reads in the command line and the environment at start; false when
  // either cannot be obtained.
  virtual bool read_command_line_and_environment() { return true; }
};

// The platform in use: the host's own unless a test set another.
ProcessPlatform& platform();
// nullptr restores the host's own.
void set_platform(ProcessPlatform* replacement);

// The host's own implementation, defined in the platform file.
ProcessPlatform& host_platform();

}  // namespace quorvane
