// A stand-in for the process boundary in tests: it records what the run-time
// writes, can be told to fail standard output writes, and turns the end of
// the process into a ProcessEnded exception that the test catches.
//
//   RecordingPlatform host;   // installs itself on a freshly reset run-time
//   EXPECT_THROW(stop_run("done"), ProcessEnded);
//   EXPECT_EQ(host.stdout_bytes(), "done\r\n");
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/process/platform.h"

namespace quorvane {

// Thrown by RecordingPlatform::exit_process in place of ending the process.
struct ProcessEnded {
  int status;
};

class RecordingPlatform final : public ProcessPlatform {
 public:
  // Resets the run-time (reset_runtime) and puts this platform in place.
  RecordingPlatform();
  // Restores the host's platform and resets the run-time again.
  ~RecordingPlatform() override;
  RecordingPlatform(const RecordingPlatform&) = delete;
  RecordingPlatform& operator=(const RecordingPlatform&) = delete;

  WriteResult write_stdout(std::string_view bytes) override;
  void write_stderr(std::string_view bytes) override;
  void flush_streams() override;
  [[noreturn]] void exit_process(int status) override;
  void enable_float_traps() override;
  bool read_command_line_and_environment() override;

  // Every later write_stdout fails with the result (and is not recorded);
  // kOk lets them succeed again.
  void fail_stdout(WriteResult result) { stdout_result_ = result; }
  // Whether start finds its command line and environment.
  void set_command_line_available(bool available) { command_line_available_ = available; }

  // Each successful write_stdout, in order.
  const std::vector<std::string>& stdout_writes() const { return stdout_writes_; }
  // All stdout writes joined.
  std::string stdout_bytes() const;
  const std::string& stderr_bytes() const { return stderr_; }
  int flush_count() const { return flush_count_; }
  bool float_traps_enabled() const { return float_traps_enabled_; }
  // The status of the last exit_process, if any.
  std::optional<int> exit_status() const { return exit_status_; }

 private:
  std::vector<std::string> stdout_writes_;
  std::string stderr_;
  WriteResult stdout_result_ = WriteResult::kOk;
  bool command_line_available_ = true;
  int flush_count_ = 0;
  bool float_traps_enabled_ = false;
  std::optional<int> exit_status_;
};

}  // namespace quorvane
