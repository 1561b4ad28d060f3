#include "runtime/host/host_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <functional>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <vector>

// While set, every allocation of the program fails: memory has run out.
namespace {
bool no_memory = false;
}  // namespace

void* operator new(std::size_t size) {
  if (no_memory) throw std::bad_alloc();
  if (void* block = HeapAlloc(GetProcessHeap(), 0, size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept {
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}
void operator delete(void* block, std::size_t) noexcept { operator delete(block); }

namespace quorvane {
namespace {

// The build tree's path of the echo child, as Windows names it (under wine
// the Linux root is drive Z:).
std::string echo_program() {
  std::string path = QUORVANE_HOST_ECHO;
  if (!path.empty() && path[0] == '/') path.insert(0, "Z:");
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A path as Windows compares it: case and the kind of slash do not matter.
std::string windows_form(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return lower(path);
}

void write_file(const std::string& path, std::string_view contents) {
  const HANDLE file =
      CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  DWORD written = 0;
  WriteFile(file, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr);
  CloseHandle(file);
}

std::string read_file(const std::string& path) {
  const HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::string contents;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    contents.append(buffer, got);
  }
  CloseHandle(file);
  return contents;
}

bool running_under_wine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

bool file_exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void remove_tree(const std::string& dir) {
  WIN32_FIND_DATAA entry;
  const HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      const std::string path = dir + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        remove_tree(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryA(dir.c_str());
}

// A directory of the test's own under the prefix's temporary directory.
class Scratch {
 public:
  Scratch() {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    static int count = 0;
    dir_ = std::string(temp) + "qvhost" + std::to_string(GetCurrentProcessId()) + "_" +
           std::to_string(++count);
    CreateDirectoryA(dir_.c_str(), nullptr);
  }
  ~Scratch() { remove_tree(dir_); }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;

  const std::string& dir() const { return dir_; }
  std::string path(std::string_view name) const { return dir_ + "\\" + std::string(name); }
  std::string mkdir(std::string_view name) const {
    std::string p = path(name);
    CreateDirectoryA(p.c_str(), nullptr);
    return p;
  }
  // A copy of the echo child under the given name.
  std::string echo(std::string_view name) const {
    std::string p = path(name);
    EXPECT_TRUE(CopyFileA(echo_program().c_str(), p.c_str(), FALSE)) << p;
    return p;
  }

 private:
  std::string dir_;
};

// Sets (or, with nullopt, removes) an environment variable for one scope.
class EnvVar {
 public:
  EnvVar(const char* name, std::optional<std::string> value) : name_(name) {
    char old[32768];
    const DWORD n = GetEnvironmentVariableA(name, old, sizeof old);
    if (n > 0 && n < sizeof old) {
      old_ = std::string(old, n);
    } else if (n == 0 && GetLastError() != ERROR_ENVVAR_NOT_FOUND) {
      old_ = std::string();
    }
    SetEnvironmentVariableA(name, value ? value->c_str() : nullptr);
  }
  ~EnvVar() { SetEnvironmentVariableA(name_, old_ ? old_->c_str() : nullptr); }
  EnvVar(const EnvVar&) = delete;
  EnvVar& operator=(const EnvVar&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class CurrentDirectory {
 public:
  explicit CurrentDirectory(const std::string& dir) {
    char old[MAX_PATH];
    GetCurrentDirectoryA(sizeof old, old);
    old_ = old;
    EXPECT_TRUE(SetCurrentDirectoryA(dir.c_str())) << dir;
  }
  ~CurrentDirectory() { SetCurrentDirectoryA(old_.c_str()); }
  CurrentDirectory(const CurrentDirectory&) = delete;
  CurrentDirectory& operator=(const CurrentDirectory&) = delete;

 private:
  std::string old_;
};

// One line per echo start: "<module path>|<command line>".
struct EchoRun {
  std::string module;
  std::string command_line;
};
std::vector<EchoRun> echo_runs(const std::string& log) {
  std::vector<EchoRun> runs;
  const std::string text = read_file(log);
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(pos, end - pos);
    const std::size_t bar = line.find('|');
    runs.push_back({line.substr(0, bar), bar == std::string::npos ? "" : line.substr(bar + 1)});
    pos = end + 1;
  }
  return runs;
}

void expect_reset(const FileInfo& info) {
  EXPECT_EQ(info.creation_time, -1);
  EXPECT_EQ(info.write_time, -1);
  EXPECT_EQ(info.access_time, -1);
  EXPECT_EQ(info.size, -1);
  EXPECT_EQ(info.attributes, -1);
  EXPECT_EQ(info.name.text(), std::string(255, ' '));
}

FileInfo filled_info() {
  FileInfo info;
  info.creation_time = info.write_time = info.access_time = info.size = 7;
  info.attributes = 7;
  info.name = "stale";
  return info;
}

bool reserved(EnumHandle handle) {
  return handle == FILE_FIRST || handle == FILE_LAST || handle == FILE_ERROR;
}

TEST(FindFileInfoTest, NothingToFindEndsTheSearchWithAResetRecord) {
  Scratch scratch;
  write_file(scratch.path("other.txt"), "x");
  WindowsHost host;
  struct Case {
    std::string pattern;
    EnumHandle handle_in;
  };
  const Case cases[] = {
      {scratch.path("LR*.B_G"), FILE_FIRST},
      {scratch.path("nosuchdir\\LR*.B_G"), FILE_FIRST},
      {scratch.path("nosuchdir\\deeper\\LR*.B_G"), FILE_FIRST},
      {scratch.path("*"), FILE_LAST},   // no host call
      {scratch.path("*"), FILE_ERROR},  // a failed search reads as ended
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern + " with handle " + std::to_string(c.handle_in));
    FileInfo info = filled_info();
    EnumHandle handle = c.handle_in;
    EXPECT_EQ(host.find_file_info(c.pattern, info, handle), 0);
    EXPECT_EQ(handle, FILE_LAST);
    expect_reset(info);
  }
}

TEST(FindFileInfoTest, EnumeratesEveryMatchThenEndsForEver) {
  Scratch scratch;
  write_file(scratch.path("LR0001.B_G"), "12345");
  write_file(scratch.path("LR345678901234.B_G"), "1234567");  // 20 characters
  write_file(scratch.path("LR0002.B_X"), "no match");
  scratch.mkdir("LRsub.B_G");
  SetFileAttributesA(scratch.path("LR0001.B_G").c_str(), FILE_ATTRIBUTE_HIDDEN);
  // Wine keeps the hidden bit only where the file system takes extended attributes.
  const std::int16_t hidden =
      (GetFileAttributesA(scratch.path("LR0001.B_G").c_str()) & FILE_ATTRIBUTE_HIDDEN) ? 0x2 : 0;
  WindowsHost host;

  const std::string plain = scratch.path("LR*.B_G");
  for (const std::string& pattern : {plain, plain + std::string(15, ' ')}) {
    SCOPED_TRACE("pattern \"" + pattern + "\"");
    std::map<std::string, FileInfo> found;
    EnumHandle handle = FILE_FIRST;
    std::optional<EnumHandle> in_progress;
    for (int call = 0; call < 10; ++call) {
      FileInfo info = filled_info();
      const std::int32_t length = host.find_file_info(pattern, info, handle);
      if (length == 0) {
        EXPECT_EQ(handle, FILE_LAST);
        expect_reset(info);
        break;
      }
      EXPECT_FALSE(reserved(handle));
      if (in_progress) {
        EXPECT_EQ(handle, *in_progress) << "the handle moved";
      }
      in_progress = handle;
      const std::string name(info.name.trimmed());
      EXPECT_EQ(length, static_cast<std::int32_t>(name.size()));
      EXPECT_EQ(info.name.text().substr(name.size()), std::string(255 - name.size(), ' '));
      found[name] = info;
    }
    ASSERT_EQ(found.size(), 3U);
    ASSERT_TRUE(found.count("LR0001.B_G"));
    ASSERT_TRUE(found.count("LR345678901234.B_G"));
    ASSERT_TRUE(found.count("LRsub.B_G"));
    EXPECT_EQ(found["LR0001.B_G"].size, 5);
    EXPECT_EQ(found["LR0001.B_G"].attributes & 0x12, hidden);  // no directory
    EXPECT_EQ(found["LR345678901234.B_G"].size, 7);
    EXPECT_EQ(found["LRsub.B_G"].attributes & 0x10, 0x10);
    EXPECT_GT(found["LR0001.B_G"].write_time, 0);

    FileInfo info = filled_info();
    EXPECT_EQ(host.find_file_info(pattern, info, handle), 0);  // a further call
    EXPECT_EQ(handle, FILE_LAST);
    expect_reset(info);
  }
}

TEST(FindFileInfoTest, AHandleThatIsNoSearchOfOursFails) {
  WindowsHost host;
  for (EnumHandle stray : {0, 5, WindowsHost::kFirstSearch + WindowsHost::kMaxSearches, -4}) {
    FileInfo info = filled_info();
    EnumHandle handle = stray;
    EXPECT_EQ(host.find_file_info("*", info, handle), 0);
    EXPECT_EQ(handle, FILE_ERROR) << stray;
    expect_reset(info);
  }
}

TEST(FindFileInfoTest, TimesAreSecondsSince1970ByTheStandardOffset) {
  Scratch scratch;
  const std::string file = scratch.path("LR0001.B_G");
  write_file(file, "x");
  // 2001-09-09 01:46:40 UTC is 1,000,000,000 s after 1970; 2040 is past the range.
  auto filetime = [](std::int64_t unix_seconds) {
    const std::uint64_t ticks = static_cast<std::uint64_t>(unix_seconds + 11644473600LL) * 10000000;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  };
  const FILETIME written = filetime(1000000000);
  const FILETIME accessed = filetime(2208988800LL);  // 2040-01-01
  const HANDLE h =
      CreateFileA(file.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(SetFileTime(h, nullptr, &accessed, &written));
  CloseHandle(h);

  WindowsHost host;
  auto times_under = [&](const char* tz) {
    EnvVar zone("TZ", tz);
    FileInfo info;
    EnumHandle handle = FILE_FIRST;
    EXPECT_EQ(host.find_file_info(file, info, handle), 10);
    EnumHandle end = handle;
    FileInfo rest;
    EXPECT_EQ(host.find_file_info(file, rest, end), 0);
    return info;
  };
  const FileInfo gmt = times_under("GMT0");
  EXPECT_EQ(gmt.access_time, -1);
  EXPECT_EQ(times_under("EST5EDT").write_time - gmt.write_time, 5 * 3600);
  EXPECT_EQ(times_under("CET-1").write_time - gmt.write_time, -3600);
  TIME_ZONE_INFORMATION zone;
  if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_UNKNOWN && zone.Bias == 0) {
    EXPECT_EQ(gmt.write_time, 1000000000);  // the host keeps UTC
  }
}

TEST(FindFileInfoTest, AFullTableOfOpenSearchesFailsTheNextStart) {
  Scratch scratch;
  write_file(scratch.path("a.txt"), "a");
  write_file(scratch.path("b.txt"), "b");
  WindowsHost host;
  std::vector<EnumHandle> open;
  FileInfo info;
  for (int i = 0; i < WindowsHost::kMaxSearches; ++i) {
    EnumHandle handle = FILE_FIRST;
    ASSERT_EQ(host.find_file_info(scratch.path("*.txt"), info, handle), 5);
    open.push_back(handle);
  }
  EnumHandle handle = FILE_FIRST;
  EXPECT_EQ(host.find_file_info(scratch.path("*.txt"), info, handle), 0);
  EXPECT_EQ(handle, FILE_ERROR);
  // Ending one search frees its place.
  EnumHandle first = open[0];
  while (host.find_file_info(scratch.path("*.txt"), info, first) != 0) {
  }
  handle = FILE_FIRST;
  EXPECT_EQ(host.find_file_info(scratch.path("*.txt"), info, handle), 5);
}

TEST(InquireFileTest, ExistsAndConnected) {
  Scratch scratch;
  const std::string file = scratch.path("LR0001.B_G");
  write_file(file, "data");
  const std::string dir = scratch.mkdir("sub");
  CurrentDirectory here(scratch.dir());
  WindowsHost host;
  struct Case {
    std::string name;
    Logical exists;
    Logical connected;
  };
  const Case cases[] = {
      {file, kTrue, kFalse},
      {file + std::string(20, ' '), kTrue, kFalse},
      {"   " + file, kTrue, kFalse},
      {file + std::string(259 - file.size(), ' ') + "junk", kTrue, kFalse},  // cut at 259
      {"LR0001.B_G", kTrue, kFalse},
      {scratch.path("LR0002.B_G"), kFalse, kFalse},
      {scratch.path("nosuchdir\\LR0001.B_G"), kFalse, kFalse},
      {dir, kTrue, kFalse},
      {"", kFalse, kFalse},
      {"NUL", kTrue, kFalse},
      {"lpt1.txt", kTrue, kFalse},
      {"con", kTrue, kTrue},       // the console units are opened under CON
      {"CON.log", kTrue, kFalse},  // no device for us; the host still knows it
  };
  for (const Case& c : cases) {
    Logical exists = 7;
    Logical connected = 7;
    host.inquire_file(c.name, exists, connected);
    EXPECT_EQ(exists, c.exists) << "\"" << c.name << "\"";
    EXPECT_EQ(connected, c.connected) << "\"" << c.name << "\"";
  }
}

// Run again as a child whose standard input and output are files opened here
// on the Windows side (a redirection by the Linux shell gives wine no file
// identity): those two files, and only they, are connected.
TEST(InquireFileTest, FilesBehindStandardInputAndOutputAreConnected) {
  char child_dir[MAX_PATH];
  const DWORD n = GetEnvironmentVariableA("QUORVANE_HOST_CHILD", child_dir, sizeof child_dir);
  if (n > 0 && n < sizeof child_dir) {
    const std::string dir(child_dir, n);
    WindowsHost host;
    struct Case {
      std::string name;
      Logical connected;
    };
    const Case cases[] = {
        {dir + "\\in.txt", kTrue},
        {"  " + dir + "\\IN.TXT  ", kTrue},
        {dir + "\\out.txt", kTrue},
        {dir + "\\other.txt", kFalse},
    };
    for (const Case& c : cases) {
      Logical exists = kFalse;
      Logical connected = 7;
      host.inquire_file(c.name, exists, connected);
      EXPECT_EQ(exists, kTrue) << c.name;
      EXPECT_EQ(connected, c.connected) << c.name;
    }
    return;
  }

  Scratch scratch;
  write_file(scratch.path("in.txt"), "input\n");
  write_file(scratch.path("other.txt"), "other\n");
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const HANDLE in =
      CreateFileA(scratch.path("in.txt").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  &inherit, OPEN_EXISTING, 0, nullptr);
  const HANDLE out =
      CreateFileA(scratch.path("out.txt").c_str(), GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(in, INVALID_HANDLE_VALUE);
  ASSERT_NE(out, INVALID_HANDLE_VALUE);
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, sizeof self);
  std::string line =
      "host_win32_test "
      "--gtest_filter=InquireFileTest.FilesBehindStandardInputAndOutputAreConnected";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in;
  startup.hStdOutput = out;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION child{};
  DWORD status = 99;
  {
    EnvVar role("QUORVANE_HOST_CHILD", scratch.dir());
    ASSERT_TRUE(CreateProcessA(self, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                               &startup, &child));
  }
  WaitForSingleObject(child.hProcess, INFINITE);
  GetExitCodeProcess(child.hProcess, &status);
  CloseHandle(child.hThread);
  CloseHandle(child.hProcess);
  CloseHandle(in);
  CloseHandle(out);
  EXPECT_EQ(status, 0U) << "the child's report:\n" << read_file(scratch.path("out.txt"));
}

// Another opener of a file, held for one scope as the acquisition program
// or a viewer would hold it.
class Opener {
 public:
  Opener(const std::string& path, DWORD access, DWORD share)
      : handle_(CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr)) {
    EXPECT_NE(handle_, INVALID_HANDLE_VALUE) << path;
  }
  ~Opener() { CloseHandle(handle_); }
  Opener(const Opener&) = delete;
  Opener& operator=(const Opener&) = delete;

 private:
  HANDLE handle_;
};

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Only a writer holds a file back, however it shares; the check itself never
// keeps a writer out afterwards.
TEST(FileBeingWrittenTest, OnlyAnotherWriterCounts) {
  Scratch scratch;
  const std::string file = scratch.path("LR0001.B_G");
  write_file(file, "part of the data");
  struct Case {
    const char* opener;
    DWORD access;
    DWORD share;
    Logical written;
  };
  const Case cases[] = {
      {"writer sharing all", GENERIC_WRITE, kShareAll, kTrue},
      {"writer sharing read", GENERIC_WRITE, FILE_SHARE_READ, kTrue},
      {"reader and writer", GENERIC_READ | GENERIC_WRITE, kShareAll, kTrue},
      {"appender", FILE_APPEND_DATA, kShareAll, kTrue},
      {"reader sharing all", GENERIC_READ, kShareAll, kFalse},
      {"reader sharing read", GENERIC_READ, FILE_SHARE_READ, kFalse},
      {"attribute query", FILE_READ_ATTRIBUTES, kShareAll, kFalse},
  };
  WindowsHost host;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.opener);
    {
      Opener other(file, c.access, c.share);
      EXPECT_EQ(host.file_being_written("  " + file + "    "), c.written);
    }
    const HANDLE writer = CreateFileA(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(writer, INVALID_HANDLE_VALUE) << "the check kept the file from a writer";
    CloseHandle(writer);
  }
  EXPECT_EQ(host.file_being_written(file), kFalse);  // no opener left
  EXPECT_EQ(host.file_being_written(scratch.path("LR0002.B_G")), kFalse);
  EXPECT_EQ(host.file_being_written(scratch.dir()), kFalse);
  EXPECT_EQ(host.file_being_written("   "), kFalse);
}

TEST(RemoveFileTest, TrueExactlyWhenNoFileOfThatNameIsLeft) {
  Scratch scratch;
  WindowsHost host;
  const std::string file = scratch.path("temp.txt");
  write_file(file, "an earlier upload's output");
  EXPECT_EQ(host.remove_file(file), kTrue);
  EXPECT_FALSE(file_exists(file));
  EXPECT_EQ(host.remove_file(file), kTrue);  // none there
  EXPECT_EQ(host.remove_file(scratch.path("nosuch\\temp.txt")), kTrue);

  write_file(file, "held");
  {
    Opener holder(file, GENERIC_WRITE, 0);  // no sharing at all
    EXPECT_EQ(host.remove_file(file), kFalse);
  }
  EXPECT_TRUE(file_exists(file));
  {
    Opener reader(file, GENERIC_READ, FILE_SHARE_READ);  // lets no one delete it
    EXPECT_EQ(host.remove_file(file), kFalse);
  }
  EXPECT_TRUE(file_exists(file));
  EXPECT_EQ(host.remove_file(scratch.mkdir("adir")), kFalse);  // a directory stays
  EXPECT_EQ(host.remove_file(file), kTrue);
}

// The run lock is a mutex: its owner is a thread, so each run plays a thread
// of its own here; the separate programs are shown by the whole runs.
struct LockRun {
  explicit LockRun(const char* name = WindowsHost::kRunLockName) : host(name) {}

  WindowsHost host;
  HANDLE taken = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE finish = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  Logical first_try = kFalse;
  HANDLE thread = nullptr;

  // take_run_lock, then waits (if asked) and holds the lock until finish.
  void start(bool wait) {
    wait_ = wait;
    thread = CreateThread(nullptr, 0, &LockRun::body, this, 0, nullptr);
  }
  bool has_taken(DWORD milliseconds) { return WaitForSingleObject(taken, milliseconds) == 0; }
  // Ends the thread while it owns the lock, as a killed run would.
  void end() {
    SetEvent(finish);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
  ~LockRun() {
    CloseHandle(taken);
    CloseHandle(finish);
  }

 private:
  static DWORD WINAPI body(void* self) {
    LockRun& run = *static_cast<LockRun*>(self);
    run.first_try = run.host.take_run_lock();
    if (run.first_try == kFalse && run.wait_) run.host.wait_run_lock();
    if (run.first_try != kFalse || run.wait_) SetEvent(run.taken);
    WaitForSingleObject(run.finish, INFINITE);
    return 0;
  }
  bool wait_ = false;
};

TEST(RunLockTest, OneRunAtATimeAndAnEndedOwnerFreesIt) {
  LockRun first;
  first.start(false);
  ASSERT_TRUE(first.has_taken(5000));
  EXPECT_EQ(first.first_try, kTrue);

  LockRun second;
  second.start(true);
  EXPECT_FALSE(second.has_taken(300)) << "two runs held the lock at once";
  first.end();  // the owner ends without releasing it
  EXPECT_TRUE(second.has_taken(5000)) << "an abandoned lock kept the next run out";
  EXPECT_EQ(second.first_try, kFalse);

  LockRun third;
  third.start(false);
  third.end();
  EXPECT_EQ(third.first_try, kFalse);
  second.end();

  LockRun fourth;
  fourth.start(false);
  EXPECT_TRUE(fourth.has_taken(5000));
  EXPECT_EQ(fourth.first_try, kTrue);
  fourth.end();
}

// A lock that the system refuses is tried again until it can be had; the run
// never goes on without it. Another kind of object under the lock's name
// makes every try fail, as a refused one does.
TEST(RunLockTest, ARefusedLockIsTriedAgainUntilItIsHeld) {
  constexpr const char* kName = "Global\\QuorvaneTest.refused";
  const HANDLE squatter = CreateEventA(nullptr, TRUE, FALSE, kName);
  ASSERT_NE(squatter, nullptr);

  LockRun run(kName);
  run.start(true);
  EXPECT_FALSE(run.has_taken(1000)) << "went on without the lock";
  EXPECT_EQ(run.first_try, kFalse);
  CloseHandle(squatter);  // the name is free again
  EXPECT_TRUE(run.has_taken(3 * WindowsHost::kRunLockRetryMilliseconds));
  run.end();
}

TEST(PauseSecondsTest, SleepsTheGivenSeconds) {
  WindowsHost host;
  struct Case {
    std::int32_t seconds;
    ULONGLONG at_least_ms;
    ULONGLONG below_ms;
  };
  const Case cases[] = {{0, 0, 200}, {1, 950, 3000}};
  for (const Case& c : cases) {
    const ULONGLONG start = GetTickCount64();
    host.pause_seconds(c.seconds);
    const ULONGLONG took = GetTickCount64() - start;
    EXPECT_GE(took, c.at_least_ms) << c.seconds << " s";
    EXPECT_LT(took, c.below_ms) << c.seconds << " s";
  }
}

TEST(LastErrorNumberTest, OnlyTheProgramsOwnTagGivesANumber) {
  WindowsHost host;
  struct Case {
    DWORD last_error;
    std::int32_t number;
  };
  const Case cases[] = {{0, 0}, {ERROR_FILE_NOT_FOUND, 0}, {0x2fff0009, 9}, {0x0fff0009, 0}};
  for (const Case& c : cases) {
    SetLastError(c.last_error);
    EXPECT_EQ(host.last_error_number(), c.number) << std::hex << c.last_error;
  }
}

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override { log_ = scratch_.path("echo.log"); }
  std::vector<EchoRun> runs() const { return echo_runs(log_); }

  Scratch scratch_;
  std::string log_;
  EnvVar log_var_{"QUORVANE_ECHO_LOG", std::nullopt};
  EnvVar status_var_{"QUORVANE_ECHO_STATUS", std::nullopt};
  WindowsHost host_;
};

TEST_F(RunTest, CommandGoesToComspecAsNameSlashCAndTheCommand) {
  const std::string shell = scratch_.echo("shell.exe");
  EnvVar comspec("COMSPEC", shell);
  EnvVar log("QUORVANE_ECHO_LOG", log_);
  struct Case {
    const char* status;
    Logical result;
    std::int32_t exit_status;
  };
  const Case cases[] = {
      {"0", kTrue, 0},
      {"3", kTrue, 3},  // the command failed; the interpreter ran
      {"4294967295", kFalse, -1},
  };
  for (const Case& c : cases) {
    EnvVar status("QUORVANE_ECHO_STATUS", c.status);
    std::int32_t exit_status = 99;
    EXPECT_EQ(host_.run_command("copy a.txt \"b c.txt\"     ", exit_status), c.result)
        << "status " << c.status;
    EXPECT_EQ(exit_status, c.exit_status) << "status " << c.status;
  }
  const std::vector<EchoRun> seen = runs();
  ASSERT_EQ(seen.size(), 3U);
  EXPECT_EQ(seen[0].command_line, shell + " /c copy a.txt \"b c.txt\"");
}

TEST_F(RunTest, CommandRunsInTheRealInterpreterAndPassesOnItsStatus) {
  struct Case {
    const char* command;
    std::int32_t exit_status;
  };
  const Case cases[] = {{"exit 0", 0}, {"exit 3", 3}, {"type nosuchfile.txt 2>nul", 1}};
  for (const Case& c : cases) {
    std::int32_t exit_status = 99;
    EXPECT_EQ(host_.run_command(c.command, exit_status), kTrue) << c.command;
    EXPECT_EQ(exit_status, c.exit_status) << c.command;
  }
}

TEST_F(RunTest, MissingComspecFallsBackToTheInterpreterOnPath) {
  const std::string work = scratch_.mkdir("work");
  CurrentDirectory here(work);
  EnvVar comspec("COMSPEC", scratch_.path("nosuch\\cmd.exe"));
  std::int32_t exit_status = 99;
  EXPECT_EQ(host_.run_command("exit 5", exit_status), kTrue);
  EXPECT_EQ(exit_status, 5);
}

// Only a COMSPEC that is missing or refused gives way to the default.
TEST_F(RunTest, ComspecThatCannotStartFallsBackWhenMissingOrRefused) {
  const std::string work = scratch_.mkdir("work");
  write_file(scratch_.path("notaprogram.exe"), "this is text, not a program\r\n");
  const std::string locked = scratch_.echo("locked.exe");
  const HANDLE hold =
      CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(hold, INVALID_HANDLE_VALUE);
  // The default is searched for, the current directory first.
  const std::string fake = scratch_.echo("work\\cmd.exe");
  CurrentDirectory here(work);
  EnvVar log("QUORVANE_ECHO_LOG", log_);
  struct Case {
    std::string comspec;
    Logical result;
  };
  const Case cases[] = {
      {scratch_.path("nosuch.exe"), kTrue},
      {locked, kTrue},  // in use
      {scratch_.path("notaprogram.exe"), kFalse},
  };
  for (const Case& c : cases) {
    DeleteFileA(log_.c_str());
    EnvVar comspec("COMSPEC", c.comspec);
    std::int32_t exit_status = 99;
    EXPECT_EQ(host_.run_command("echo hi", exit_status), c.result) << c.comspec;
    EXPECT_EQ(exit_status, c.result ? 0 : -1) << c.comspec;
    const std::vector<EchoRun> seen = runs();
    if (c.result) {
      ASSERT_EQ(seen.size(), 1U) << c.comspec;
      EXPECT_EQ(windows_form(seen[0].module), windows_form(fake));
      EXPECT_EQ(seen[0].command_line, "cmd.exe /c echo hi");
    } else {
      EXPECT_TRUE(seen.empty()) << "the default interpreter ran for " << c.comspec;
    }
  }
  CloseHandle(hold);
}

TEST_F(RunTest, NoInterpreterAnywhereGivesFalseAndNoErrorNumber) {
  const std::string empty = scratch_.mkdir("empty");
  CurrentDirectory here(empty);
  EnvVar comspec("COMSPEC", scratch_.path("nosuch.exe"));
  EnvVar path("PATH", empty);
  std::int32_t exit_status = 99;
  EXPECT_EQ(host_.run_command("echo hi", exit_status), kFalse);
  EXPECT_EQ(exit_status, -1);
  EXPECT_EQ(host_.last_error_number(), 0);
}

TEST_F(RunTest, ProgramGetsTheWordsOfTheTailBySingleBlanks) {
  // The feeder's move, first seen by a stand-in for cmd.exe in the current
  // directory, then done by the real one.
  const std::string latest = scratch_.mkdir("latest");
  const std::string stored = scratch_.mkdir("stored") + "\\";
  const std::string work = scratch_.mkdir("work");
  const std::string source = latest + "\\LR0001.B_G";
  write_file(source, "measurements");
  const std::string tail =
      "/c move /Y " + source + std::string(9, ' ') + stored + std::string(6, ' ');
  {
    const std::string fake = scratch_.echo("work\\cmd.exe");
    CurrentDirectory here(work);
    EnvVar log("QUORVANE_ECHO_LOG", log_);
    EnvVar status("QUORVANE_ECHO_STATUS", "4");
    EXPECT_EQ(host_.run_program("cmd.exe", tail), 4);
    const std::vector<EchoRun> seen = runs();
    ASSERT_EQ(seen.size(), 1U);
    EXPECT_EQ(lower(seen[0].module), lower(fake));
    EXPECT_EQ(seen[0].command_line, "cmd.exe /c move /Y " + source + " " + stored);
    DeleteFileA(fake.c_str());
  }
  CurrentDirectory here(work);
  EXPECT_EQ(host_.run_program("cmd.exe   ", tail), 0);
  EXPECT_FALSE(file_exists(source));
  EXPECT_EQ(read_file(stored + "LR0001.B_G"), "measurements");
  // Nothing is left to move. Wine's move ends with 0 even when it fails.
  EXPECT_EQ(host_.run_program("cmd.exe", tail), running_under_wine() ? 0 : 1);
  EXPECT_EQ(host_.run_program("cmd.exe", "/c type nosuchfile.txt"), 1);
}

TEST_F(RunTest, ProgramIsSearchedInTheCurrentDirectoryThenAlongPath) {
  const std::string work = scratch_.mkdir("work");
  const std::string a = scratch_.mkdir("a");
  const std::string b = scratch_.mkdir("b");
  const std::string quoted = scratch_.mkdir("q;r");
  scratch_.mkdir("a\\sub");
  scratch_.echo("a\\tool.exe");
  scratch_.echo("b\\tool.exe");
  scratch_.echo("a\\both.com");
  scratch_.echo("a\\both.exe");
  scratch_.echo("a\\here.exe");
  scratch_.echo("work\\here.exe");
  scratch_.echo("q;r\\quoted.exe");
  scratch_.echo("a\\sub\\deep.exe");
  CurrentDirectory here(work);
  EnvVar log("QUORVANE_ECHO_LOG", log_);
  EnvVar status("QUORVANE_ECHO_STATUS", "7");
  // Joined with "\\tool": 259 and 260 characters.
  const std::string long_entry = "C:\\" + std::string(251, 'x');
  const std::string too_long = "C:\\" + std::string(252, 'x');

  struct Case {
    std::string program;
    std::string path;
    std::string started;  // empty: nothing starts
  };
  const Case cases[] = {
      {"tool", a + ";" + b, a + "\\tool.exe"},
      {"tool", b + ";" + a, b + "\\tool.exe"},
      {"tool", "\"" + b + "\\\";" + a, b + "\\tool.exe"},
      {"tool  ", scratch_.path("nosuch") + ";" + a + "/", a + "/tool.exe"},
      {"both", a, a + "\\both.com"},  // probed before .exe
      {"both.exe", a, a + "\\both.exe"},
      {"here", a, work + "\\here.exe"},  // the current directory first
      {"quoted", "\"" + quoted + "\";" + a, quoted + "\\quoted.exe"},
      {"sub\\deep", a, a + "\\sub\\deep.exe"},
      {"sub/deep", a, ""},                               // a forward slash: no search
      {"tool", scratch_.path("nosuch") + ";;" + a, ""},  // an empty entry stops
      {"tool", long_entry + ";" + a, a + "\\tool.exe"},
      {"tool", too_long + ";" + a, ""},  // the joined path reaches 260
      {"tool", "\\\\nosuchhost\\share;" + a, a + "\\tool.exe"},
      {"nosuchprogram", a + ";" + b, ""},
      {"nosuchprogram.exe", a, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("\"" + c.program + "\" on PATH " + c.path);
    DeleteFileA(log_.c_str());
    EnvVar path("PATH", c.path);
    const std::int32_t result = host_.run_program(c.program, "x \t y ");
    const std::vector<EchoRun> seen = runs();
    if (c.started.empty()) {
      EXPECT_EQ(result, -1);
      EXPECT_TRUE(seen.empty());
      continue;
    }
    EXPECT_EQ(result, 7);
    ASSERT_EQ(seen.size(), 1U);
    EXPECT_EQ(windows_form(seen[0].module), windows_form(c.started));
    std::string name = c.program.substr(0, c.program.find_last_not_of(' ') + 1);
    EXPECT_EQ(seen[0].command_line, name + " x y");
  }
}

TEST_F(RunTest, CommandLineOfMoreThan32763CharactersIsRefused) {
  const std::string echo = scratch_.echo("echo.exe");
  EnvVar status("QUORVANE_ECHO_STATUS", "7");
  struct Case {
    std::size_t length;
    std::int32_t result;
  };
  for (const Case& c : {Case{32763, 7}, Case{32764, -1}}) {
    const std::string tail(c.length - echo.size() - 1, 'w');
    EXPECT_EQ(host_.run_program(echo, tail), c.result) << "a line of " << c.length;
  }
}

// A fresh handle takes the lowest free place in the handle table, so the
// places that a batch of fresh handles takes move up when a service leaves a
// handle open. A batch, not one handle: a service's own short-lived handles
// free the lowest places again, and what it leaks lies just above them.
// (Wine's GetProcessHandleCount always answers 0.)
std::uintptr_t fresh_handle_reach() {
  HANDLE batch[64];
  std::uintptr_t reach = 0;
  for (HANDLE& h : batch) {
    h = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    reach = std::max(reach, reinterpret_cast<std::uintptr_t>(h));
  }
  for (HANDLE h : batch) CloseHandle(h);
  return reach;
}

TEST_F(RunTest, ServicesLeaveNoHandleOpen) {
  write_file(scratch_.path("LR0001.B_G"), "1");
  write_file(scratch_.path("LR0002.B_G"), "2");
  const std::string echo = scratch_.echo("echo.exe");
  EnvVar comspec("COMSPEC", echo);
  const std::string pattern = scratch_.path("LR*.B_G");
  const std::string file = scratch_.path("LR0001.B_G");
  struct Case {
    const char* service;
    std::function<void()> call;
  };
  const Case cases[] = {
      {"find_file_info to the end",
       [&] {
         FileInfo info;
         EnumHandle handle = FILE_FIRST;
         while (host_.find_file_info(pattern, info, handle) != 0) {
         }
       }},
      {"find_file_info with no match",
       [&] {
         FileInfo info;
         EnumHandle handle = FILE_FIRST;
         host_.find_file_info(scratch_.path("none*"), info, handle);
       }},
      {"inquire_file",
       [&] {
         Logical exists;
         Logical connected;
         host_.inquire_file(file, exists, connected);
         host_.inquire_file(scratch_.dir(), exists, connected);
       }},
      {"file_being_written",
       [&] {
         host_.file_being_written(file);
         host_.file_being_written(scratch_.path("nosuch"));
       }},
      {"remove_file",
       [&] {
         write_file(scratch_.path("temp.txt"), "t");
         host_.remove_file(scratch_.path("temp.txt"));
       }},
      {"pause_seconds", [&] { host_.pause_seconds(0); }},
      {"last_error_number", [&] { host_.last_error_number(); }},
      {"run_command",
       [&] {
         std::int32_t status;
         host_.run_command("echo", status);
       }},
      {"run_program", [&] { host_.run_program(echo, "a b"); }},
      {"run_program found nowhere", [&] { host_.run_program("nosuchprogram", "a"); }},
  };
  for (const Case& c : cases) {
    c.call();  // whatever the first call sets up for good
    const std::uintptr_t before = fresh_handle_reach();
    for (int i = 0; i < 1000; ++i) c.call();
    EXPECT_EQ(fresh_handle_reach(), before) << c.service;
  }
}

// Host strings longer than any string kept inside its own object, so that
// each needs memory.
TEST_F(RunTest, MemoryThatRunsOutBeforeTheStartStartsNothing) {
  const std::string echo = scratch_.echo("echo_with_a_long_name.exe");
  write_file(scratch_.path("LR0001.B_G"), "1");
  EnvVar comspec("COMSPEC", echo);
  EnvVar log("QUORVANE_ECHO_LOG", log_);
  const std::string pattern = scratch_.path("LR*.B_G");
  const std::string words = "first_long_word second_long_word";

  no_memory = true;
  const std::int32_t program_status = host_.run_program(echo, words);
  std::int32_t command_status = 99;
  const Logical command_ran = host_.run_command(words, command_status);
  FileInfo info = filled_info();
  EnumHandle handle = FILE_FIRST;
  const std::int32_t found = host_.find_file_info(pattern, info, handle);
  no_memory = false;

  EXPECT_EQ(program_status, -1);  // not started: never a move that worked
  EXPECT_EQ(command_ran, kFalse);
  EXPECT_EQ(command_status, -1);
  EXPECT_EQ(found, 0);
  EXPECT_EQ(handle, FILE_ERROR);
  expect_reset(info);
  EXPECT_TRUE(runs().empty()) << "a program was started";
}

TEST(WindowsClockTest, ReadsTheClockAnewAtEachCall) {
  WindowsClock clock;
  std::int16_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  clock.local_date(year, month, day);
  EXPECT_GE(year, 2024);
  EXPECT_TRUE(month >= 1 && month <= 12 && day >= 1 && day <= 31);
  clock.local_time(hour, minute, second);
  const int before = (hour * 60 + minute) * 60 + second;
  Sleep(1100);
  clock.local_time(hour, minute, second);
  EXPECT_NE((hour * 60 + minute) * 60 + second, before);
}

}  // namespace
}  // namespace quorvane
