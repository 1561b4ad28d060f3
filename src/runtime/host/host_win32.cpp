#include "runtime/host/host_win32.h"

#include <windows.h>

#include <cstring>
#include <initializer_list>
#include <new>
#include <optional>
#include <string>

#include "runtime/host/host_rules.h"

namespace quorvane {

namespace {

// The longest command line that CreateProcessA takes.
constexpr std::size_t kMaxCommandLine = 32763;
// A path joined from a PATH entry and the name must stay below this.
constexpr std::size_t kMaxPath = 260;

// The value of an environment variable as the process sees it now; nothing
// when it is not set. Throws std::bad_alloc.
std::optional<std::string> environment(const char* name) {
  std::string value;
  DWORD need = GetEnvironmentVariableA(name, nullptr, 0);
  while (need != 0) {
    value.resize(need);
    const DWORD got = GetEnvironmentVariableA(name, value.data(), need);
    if (got < need) {
      value.resize(got);
      return value;
    }
    need = got;  // it grew in between
  }
  return std::nullopt;
}

// Seconds to add to a local time to reach UTC, outside daylight saving.
std::int32_t standard_offset() {
  char tz[64];
  const DWORD n = GetEnvironmentVariableA("TZ", tz, sizeof tz);
  if (n > 0 && n < sizeof tz) {
    if (const std::optional<std::int32_t> offset = tz_standard_offset({tz, n})) return *offset;
  }
  TIME_ZONE_INFORMATION zone;
  if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) return 0;
  return (zone.Bias + zone.StandardBias) * 60;
}

std::int32_t entry_time(const FILETIME& time, std::int32_t offset) {
  if (time.dwLowDateTime == 0 && time.dwHighDateTime == 0) return -1;
  FILETIME local;
  SYSTEMTIME fields;
  if (!FileTimeToLocalFileTime(&time, &local) || !FileTimeToSystemTime(&local, &fields)) return -1;
  return seconds_since_1970(fields.wYear, fields.wMonth, fields.wDay, fields.wHour, fields.wMinute,
                            fields.wSecond, offset);
}

// Fills the record from a found entry; the result is the name's full length.
std::int32_t fill_record(const WIN32_FIND_DATAA& entry, FileInfo& info) {
  const std::int32_t offset = standard_offset();
  info.creation_time = entry_time(entry.ftCreationTime, offset);
  info.write_time = entry_time(entry.ftLastWriteTime, offset);
  info.access_time = entry_time(entry.ftLastAccessTime, offset);
  info.size = static_cast<std::int32_t>(entry.nFileSizeLow);
  info.attributes = entry_attributes(entry.dwFileAttributes);
  const std::string_view name(entry.cFileName, strnlen(entry.cFileName, MAX_PATH));
  info.name = name;
  return static_cast<std::int32_t>(name.size());
}

// What a start or a search came to.
struct Started {
  bool started = false;
  Failure failure = Failure::kNotFound;  // why it did not start
  std::int32_t status = -1;              // the exit status when it started
};

Started failed(DWORD error) { return {false, classify_failure(error), -1}; }

bool exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Starts one candidate path with the command line and waits for it to end.
// Throws std::bad_alloc before anything is started.
Started start_program(std::string path, const std::string& command_line) {
  if (path.find_first_of("\\/:") == std::string::npos) path.insert(0, ".\\");
  std::string program;
  if (last_component(path).find('.') != std::string_view::npos) {
    if (!exists(path)) return failed(GetLastError());
    program = std::move(path);
  } else {
    DWORD error = ERROR_FILE_NOT_FOUND;
    for (const char* extension : {".com", ".exe", ".bat", ".cmd"}) {
      std::string candidate = path + extension;
      if (exists(candidate)) {
        program = std::move(candidate);
        break;
      }
      error = GetLastError();
    }
    if (program.empty()) return failed(error);
  }
  if (command_line.size() > kMaxCommandLine) return {false, Failure::kOther, -1};
  std::string line = command_line;  // CreateProcessA may write into its command line

  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return failed(GetLastError());
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  if (!GetExitCodeProcess(process.hProcess, &code)) code = static_cast<DWORD>(-1);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return {true, Failure::kNotFound, static_cast<std::int32_t>(code)};
}

// The name itself, then the directories of PATH. Throws std::bad_alloc
// before anything is started.
Started search_and_start(const std::string& name, const std::string& command_line) {
  const Started first = start_program(name, command_line);
  if (first.started || first.failure != Failure::kNotFound || name.find('/') != std::string::npos) {
    return first;
  }
  const std::optional<std::string> path = environment("PATH");
  if (!path) return first;
  PathEntries entries(*path);
  std::string entry;
  while (entries.next(entry)) {
    if (entry.empty()) break;
    if (entry.back() != '\\' && entry.back() != '/') entry += '\\';
    if (entry.size() + name.size() >= kMaxPath) break;
    const Started candidate = start_program(entry + name, command_line);
    if (candidate.started) return candidate;
    if (candidate.failure != Failure::kNotFound && !is_network_path(entry)) return candidate;
  }
  return first;
}

// The identity of the file behind a handle; false when it has none (a console).
bool file_identity(HANDLE handle, BY_HANDLE_FILE_INFORMATION& identity) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
         GetFileInformationByHandle(handle, &identity);
}

// The name as the host takes it, like an inquiry's; false when nothing is left.
bool host_path(std::string_view name, char (&host_name)[260]) {
  const std::string_view prepared = inquiry_name(name);
  if (prepared.empty()) return false;
  prepared.copy(host_name, prepared.size());
  host_name[prepared.size()] = '\0';
  return true;
}

bool same_file(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace

std::int32_t WindowsHost::find_file_info(std::string_view pattern, FileInfo& info,
                                         EnumHandle& handle) {
  if (handle == FILE_LAST || handle == FILE_ERROR) {
    info.reset();
    handle = FILE_LAST;
    return 0;
  }
  WIN32_FIND_DATAA entry;
  if (handle == FILE_FIRST) {
    HANDLE search = INVALID_HANDLE_VALUE;
    DWORD error = 0;
    try {
      const std::string host_pattern(trimmed(pattern));
      search = FindFirstFileA(host_pattern.c_str(), &entry);
      if (search == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        if (!is_end_of_search(error)) {
          search = FindFirstFileA(host_pattern.c_str(), &entry);
          if (search == INVALID_HANDLE_VALUE) error = GetLastError();
        }
      }
    } catch (const std::bad_alloc&) {
      error = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (search == INVALID_HANDLE_VALUE) {
      info.reset();
      handle = is_end_of_search(error) ? FILE_LAST : FILE_ERROR;
      return 0;
    }
    for (int slot = 0; slot < kMaxSearches; ++slot) {
      if (searches_[slot] == nullptr) {
        searches_[slot] = search;
        handle = kFirstSearch + slot;
        return fill_record(entry, info);
      }
    }
    FindClose(search);  // the table is full
    info.reset();
    handle = FILE_ERROR;
    return 0;
  }

  const EnumHandle slot = handle - kFirstSearch;
  if (slot < 0 || slot >= kMaxSearches || searches_[slot] == nullptr) {
    info.reset();  // no search of ours: never hand a stray value to the host
    handle = FILE_ERROR;
    return 0;
  }
  HANDLE search = searches_[slot];
  if (FindNextFileA(search, &entry)) return fill_record(entry, info);
  const DWORD error = GetLastError();
  const bool closed = FindClose(search);
  searches_[slot] = nullptr;
  info.reset();
  handle = closed && is_end_of_search(error) ? FILE_LAST : FILE_ERROR;
  return 0;
}

void WindowsHost::inquire_file(std::string_view name, Logical& exists, Logical& connected) {
  exists = kFalse;
  connected = kFalse;
  const std::string_view prepared = inquiry_name(name);
  switch (device_name(prepared)) {
    case DeviceName::kConsole:  // the console units are opened under CON
      exists = kTrue;
      connected = kTrue;
      return;
    case DeviceName::kOther:
      exists = kTrue;
      return;
    case DeviceName::kNone:
      break;
  }
  char host_name[260];  // inquiry_name keeps at most 259 characters
  prepared.copy(host_name, prepared.size());
  host_name[prepared.size()] = '\0';

  const HANDLE query = CreateFileA(host_name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
  if (query != INVALID_HANDLE_VALUE) {
    BY_HANDLE_FILE_INFORMATION identity;
    const bool known = file_identity(query, identity);
    CloseHandle(query);
    if (known) {
      for (DWORD unit : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE}) {
        BY_HANDLE_FILE_INFORMATION behind;
        if (file_identity(GetStdHandle(unit), behind) && same_file(identity, behind)) {
          connected = kTrue;
          break;
        }
      }
    }
  }
  if (connected || GetFileAttributesA(host_name) != INVALID_FILE_ATTRIBUTES) exists = kTrue;
}

Logical WindowsHost::file_being_written(std::string_view name) {
  char host_name[260];
  if (!host_path(name, host_name)) return kFalse;
  // Asking for read access while sharing only read fails with a sharing
  // violation exactly when another opener may write. The handle is closed at
  // once: a writer that opens the file in this instant is refused.
  const HANDLE probe = CreateFileA(host_name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
  if (probe == INVALID_HANDLE_VALUE) {
    return GetLastError() == ERROR_SHARING_VIOLATION ? kTrue : kFalse;
  }
  CloseHandle(probe);
  return kFalse;
}

Logical WindowsHost::remove_file(std::string_view name) {
  char host_name[260];
  if (!host_path(name, host_name)) return kFalse;
  if (DeleteFileA(host_name)) return kTrue;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? kTrue : kFalse;
}

Logical WindowsHost::take_run_lock() {
  if (run_lock_ != nullptr) return kTrue;
  // Any user's run must see and take the same lock: a null DACL lets them.
  SECURITY_DESCRIPTOR descriptor;
  InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION);
  SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
  SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
  HANDLE mutex = CreateMutexA(&attributes, FALSE, run_lock_name_);
  if (mutex == nullptr) mutex = OpenMutexA(SYNCHRONIZE, FALSE, run_lock_name_);
  if (mutex == nullptr) return kFalse;  // refused: try again later
  const DWORD got = WaitForSingleObject(mutex, 0);
  if (got == WAIT_OBJECT_0 || got == WAIT_ABANDONED) {  // a killed run's lock is free
    run_lock_ = mutex;
    return kTrue;
  }
  CloseHandle(mutex);
  return kFalse;
}

void WindowsHost::wait_run_lock() {
  while (take_run_lock() == kFalse) {
    HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, run_lock_name_);
    if (mutex == nullptr) {
      Sleep(kRunLockRetryMilliseconds);
      continue;
    }
    const DWORD got = WaitForSingleObject(mutex, INFINITE);
    if (got == WAIT_OBJECT_0 || got == WAIT_ABANDONED) {
      run_lock_ = mutex;
      return;
    }
    CloseHandle(mutex);
    Sleep(kRunLockRetryMilliseconds);
  }
}

void WindowsHost::pause_seconds(std::int32_t seconds) {
  Sleep(static_cast<std::uint32_t>(seconds) * 1000U);
}

Logical WindowsHost::run_command(std::string_view command, std::int32_t& exit_status) {
  exit_status = -1;
  Started run;
  try {
    const std::string_view text = trimmed(command);
    if (const std::optional<std::string> comspec = environment("COMSPEC")) {
      run = start_program(*comspec, *comspec + " /c " + std::string(text));
      if (!run.started && run.failure == Failure::kOther) return kFalse;
    }
    if (!run.started) {
      const std::string name = (GetVersion() & 0x80000000U) != 0 ? "command.com" : "cmd.exe";
      run = search_and_start(name, name + " /c " + std::string(text));
    }
  } catch (const std::bad_alloc&) {
    return kFalse;  // nothing was started
  }
  if (!run.started) return kFalse;
  exit_status = run.status;
  return run.status == -1 ? kFalse : kTrue;
}

std::int32_t WindowsHost::run_program(std::string_view program, std::string_view tail) {
  try {
    const std::string name(trimmed(program));
    const Started run = search_and_start(name, argument_line(name, trimmed(tail)));
    return run.started ? run.status : -1;
  } catch (const std::bad_alloc&) {
    return -1;  // nothing was started; 0 would read as a move that worked
  }
}

std::int32_t WindowsHost::last_error_number() { return recorded_error_number(GetLastError()); }

std::unique_ptr<HostServices> make_windows_host() { return std::make_unique<WindowsHost>(); }

}  // namespace quorvane
