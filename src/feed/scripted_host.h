// A scripted stand-in for the six host services and a fixed clock, for the
// feeder's tests and benchmark. Answers come from scripts set up beforehand;
// every call can be kept in a journal with its arguments exactly as passed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/host/host.h"

namespace quorvane {

class ScriptedHost : public HostServices {
 public:
  struct CommandResult {
    bool started = true;
    std::int32_t exit_status = 0;  // ignored when not started
  };

  // Directory entries, returned in order by one search. length < 0 gives the
  // name's own length.
  void add_entry(std::string_view name, std::int32_t length = -1);
  // The handle of a search in progress (884 unless set).
  void set_search_handle(EnumHandle handle) { search_handle_ = handle; }
  // How the search ends after the last entry: FILE_LAST, or FILE_ERROR.
  void end_search_with(EnumHandle handle) { end_handle_ = handle; }

  // The answer for a name (leading and trailing blanks dropped, as the host
  // does); other names exist and are not connected.
  void set_inquiry(std::string_view name, Logical exists, Logical connected);

  // Names (blanks dropped) that another program holds open for writing;
  // every other file is written by no one.
  void set_being_written(std::string_view name, bool being_written = true);

  // Results of the next remove_file calls, in order; once used up, a file
  // can be removed.
  void add_remove_result(Logical removed) { remove_results_.push_back(removed); }

  // Another run holds the run lock: take_run_lock fails until wait_run_lock.
  void set_run_lock_taken(bool taken) { run_lock_taken_ = taken; }

  // Results of the next run_command / run_program calls, in order; once used
  // up, a command starts and ends with 0 and a program ends with 0.
  void add_command_result(CommandResult result) { command_results_.push_back(result); }
  void add_program_result(std::int32_t status) { program_results_.push_back(status); }
  void set_last_error_number(std::int32_t number) { last_error_number_ = number; }

  // Called at the start of every service call with the service's name, e.g.
  // to make the console fail at a chosen point of the run.
  void on_call(std::function<void(std::string_view service)> hook) { call_hook_ = std::move(hook); }

  // The journal: one line per call, e.g. "run_command <the 180 columns>".
  // Off, nothing is allocated per call.
  void keep_journal(bool on) { keep_journal_ = on; }
  const std::vector<std::string>& journal() const { return journal_; }

  // The scripts' positions back to their start.
  void rewind();

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
  struct Entry {
    std::string name;
    std::int32_t length;
  };
  struct Inquiry {
    Logical exists;
    Logical connected;
  };

  void log(std::string_view call, std::string_view argument);
  std::int32_t fill(FileInfo& info);

  std::vector<Entry> entries_;
  std::size_t next_entry_ = 0;
  EnumHandle search_handle_ = 884;
  EnumHandle end_handle_ = FILE_LAST;
  std::map<std::string, Inquiry, std::less<>> inquiries_;
  std::map<std::string, bool, std::less<>> being_written_;
  std::vector<Logical> remove_results_;
  std::size_t next_remove_ = 0;
  bool run_lock_taken_ = false;
  std::vector<CommandResult> command_results_;
  std::size_t next_command_ = 0;
  std::vector<std::int32_t> program_results_;
  std::size_t next_program_ = 0;
  std::int32_t last_error_number_ = 0;
  std::function<void(std::string_view)> call_hook_;
  bool keep_journal_ = true;
  std::vector<std::string> journal_;
};

// A clock that gives the scripted readings in order, the last one for ever.
class FixedClock : public HostClock {
 public:
  struct Reading {
    std::int16_t a, b, c;  // year, month, day; or hour, minute, second
  };

  void add_date(std::int16_t year, std::int16_t month, std::int16_t day) {
    dates_.push_back({year, month, day});
  }
  void add_time(std::int16_t hour, std::int16_t minute, std::int16_t second) {
    times_.push_back({hour, minute, second});
  }
  void rewind() { next_date_ = next_time_ = 0; }

  void local_date(std::int16_t& year, std::int16_t& month, std::int16_t& day) override;
  void local_time(std::int16_t& hour, std::int16_t& minute, std::int16_t& second) override;

 private:
  static Reading take(const std::vector<Reading>& readings, std::size_t& next);

  std::vector<Reading> dates_;
  std::size_t next_date_ = 0;
  std::vector<Reading> times_;
  std::size_t next_time_ = 0;
};

}  // namespace quorvane
