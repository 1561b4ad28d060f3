// The host services and the host clock on the Win32 API.
//
// WindowsHost keeps the searches of find_file_info in a small table of its
// own: a search handle is a pointer that need not fit the 32-bit EnumHandle,
// so the caller holds the table position instead.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>

#include "runtime/host/host.h"

namespace quorvane {

class WindowsHost final : public HostServices {
 public:
  // Searches open at once; a further one fails as FILE_ERROR. The feeder has
  // one at a time.
  static constexpr int kMaxSearches = 64;
  // The EnumHandle of table position i is kFirstSearch + i.
  static constexpr EnumHandle kFirstSearch = 1;

  // The run lock: one name for every session and user of the PC.
  static constexpr const char* kRunLockName = "Global\\Quorvane.run";
  static constexpr unsigned kRunLockRetryMilliseconds = 5000;

  // run_lock_name: another name for tests only.
  explicit constexpr WindowsHost(const char* run_lock_name = kRunLockName)
      : run_lock_name_(run_lock_name) {}

  std::int32_t find_file_info(std::string_view pattern, FileInfo& info,
                              EnumHandle& handle) override;
  void inquire_file(std::string_view name, Logical& exists, Logical& connected) override;
  Logical file_being_written(std::string_view name) override;
  Logical remove_file(std::string_view name) override;
  Logical take_run_lock() override;
  void wait_run_lock() override;
  void pause_seconds(std::int32_t seconds) override;
  Logical run_command(std::string_view command, std::int32_t& exit_status) override;
  std::int32_t run_program(std::string_view program, std::string_view tail) override;
  std::int32_t last_error_number() override;

 private:
  std::array<void*, kMaxSearches> searches_{};  // HANDLEs of open searches, or null
  const char* run_lock_name_;
  void* run_lock_ = nullptr;  // the run lock's mutex, owned, once taken; kept to the end
};

class WindowsClock final : public HostClock {
 public:
  constexpr WindowsClock() = default;
  void local_date(std::int16_t& year, std::int16_t& month, std::int16_t& day) override;
  void local_time(std::int16_t& hour, std::int16_t& minute, std::int16_t& second) override;
};

std::unique_ptr<HostServices> make_windows_host();
std::unique_ptr<HostClock> make_windows_clock();

}  // namespace quorvane
