#include "runtime/process/recording_platform.h"

#include "runtime/process/start.h"

namespace quorvane {

RecordingPlatform::RecordingPlatform() {
  reset_runtime();
  set_platform(this);
}

RecordingPlatform::~RecordingPlatform() {
  set_platform(nullptr);
  reset_runtime();
}

WriteResult RecordingPlatform::write_stdout(std::string_view bytes) {
  if (stdout_result_ != WriteResult::kOk) return stdout_result_;
  stdout_writes_.emplace_back(bytes);
  return WriteResult::kOk;
}

void RecordingPlatform::write_stderr(std::string_view bytes) { stderr_.append(bytes); }

void RecordingPlatform::flush_streams() { ++flush_count_; }

void RecordingPlatform::exit_process(int status) {
  exit_status_ = status;
  throw ProcessEnded{status};
}

void RecordingPlatform::enable_float_traps() { float_traps_enabled_ = true; }

bool RecordingPlatform::read_command_line_and_environment() { return command_line_available_; }

std::string RecordingPlatform::stdout_bytes() const {
  std::string all;
  for (const std::string& piece : stdout_writes_) all += piece;
  return all;
}

}  // namespace quorvane
