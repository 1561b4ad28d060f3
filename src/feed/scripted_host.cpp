#include "feed/scripted_host.h"

#include <string>

namespace quorvane {
namespace {

std::string_view strip_blanks(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') + 1 - first);
}

}  // namespace

void ScriptedHost::add_entry(std::string_view name, std::int32_t length) {
  entries_.push_back(
      {std::string(name), length < 0 ? static_cast<std::int32_t>(name.size()) : length});
}

void ScriptedHost::set_inquiry(std::string_view name, Logical exists, Logical connected) {
  inquiries_[std::string(strip_blanks(name))] = {exists, connected};
}

void ScriptedHost::set_being_written(std::string_view name, bool being_written) {
  being_written_[std::string(strip_blanks(name))] = being_written;
}

void ScriptedHost::rewind() {
  next_entry_ = next_command_ = next_program_ = next_remove_ = 0;
  journal_.clear();
}

void ScriptedHost::log(std::string_view call, std::string_view argument) {
  if (call_hook_) call_hook_(call);
  if (!keep_journal_) return;
  std::string line(call);
  if (!argument.empty()) {
    line += ' ';
    line += argument;
  }
  journal_.push_back(std::move(line));
}

std::int32_t ScriptedHost::fill(FileInfo& info) {
  const Entry& entry = entries_[next_entry_++];
  info.creation_time = info.write_time = info.access_time = 1334743387;
  info.size = 4096;
  info.attributes = 0x20;
  info.name = entry.name;
  return entry.length;
}

std::int32_t ScriptedHost::find_file_info(std::string_view pattern, FileInfo& info,
                                          EnumHandle& handle) {
  log("find_file_info", pattern);
  if (handle == FILE_LAST || handle == FILE_ERROR) {
    info.reset();
    handle = FILE_LAST;
    return 0;
  }
  if (handle == FILE_FIRST) next_entry_ = 0;
  if (next_entry_ == entries_.size()) {
    info.reset();
    handle = end_handle_;
    return 0;
  }
  handle = search_handle_;
  return fill(info);
}

void ScriptedHost::inquire_file(std::string_view name, Logical& exists, Logical& connected) {
  log("inquire_file", name);
  const auto found = inquiries_.find(strip_blanks(name));
  exists = found == inquiries_.end() ? kTrue : found->second.exists;
  connected = found == inquiries_.end() ? kFalse : found->second.connected;
}

Logical ScriptedHost::file_being_written(std::string_view name) {
  log("file_being_written", name);
  const auto found = being_written_.find(strip_blanks(name));
  return found != being_written_.end() && found->second ? kTrue : kFalse;
}

Logical ScriptedHost::remove_file(std::string_view name) {
  log("remove_file", name);
  return next_remove_ < remove_results_.size() ? remove_results_[next_remove_++] : kTrue;
}

Logical ScriptedHost::take_run_lock() {
  log("take_run_lock", {});
  return run_lock_taken_ ? kFalse : kTrue;
}

void ScriptedHost::wait_run_lock() {
  log("wait_run_lock", {});
  run_lock_taken_ = false;
}

void ScriptedHost::pause_seconds(std::int32_t seconds) {
  log("pause_seconds", keep_journal_ ? std::to_string(seconds) : std::string());
}

Logical ScriptedHost::run_command(std::string_view command, std::int32_t& exit_status) {
  log("run_command", command);
  CommandResult result;
  if (next_command_ < command_results_.size()) result = command_results_[next_command_++];
  exit_status = result.started ? result.exit_status : -1;
  return result.started && exit_status != -1 ? kTrue : kFalse;
}

std::int32_t ScriptedHost::run_program(std::string_view program, std::string_view tail) {
  log("run_program",
      keep_journal_ ? std::string(program) + "|" + std::string(tail) : std::string());
  if (next_program_ < program_results_.size()) return program_results_[next_program_++];
  return 0;
}

std::int32_t ScriptedHost::last_error_number() {
  log("last_error_number", {});
  return last_error_number_;
}

FixedClock::Reading FixedClock::take(const std::vector<Reading>& readings, std::size_t& next) {
  if (readings.empty()) return {0, 0, 0};
  const Reading reading = readings[next < readings.size() ? next : readings.size() - 1];
  if (next < readings.size()) ++next;
  return reading;
}

void FixedClock::local_date(std::int16_t& year, std::int16_t& month, std::int16_t& day) {
  const Reading r = take(dates_, next_date_);
  year = r.a;
  month = r.b;
  day = r.c;
}

void FixedClock::local_time(std::int16_t& hour, std::int16_t& minute, std::int16_t& second) {
  const Reading r = take(times_, next_time_);
  hour = r.a;
  minute = r.b;
  second = r.c;
}

}  // namespace quorvane
