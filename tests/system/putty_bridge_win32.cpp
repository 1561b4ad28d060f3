// pscp.exe and plink.exe of the system test: Windows programs in the place of
// PuTTY's that hand each call on to the real Linux tool, so that the program
// under wine talks to a real SSH server.
//
// Built twice, with BRIDGE_TOOL "pscp" or "plink". Each call:
// - turns the local file arguments of pscp (a drive path, or a wildcard such
//   as c:\httpd\*.*, expanded here as the Windows pscp expands it) into Linux
//   paths through wine_get_unix_file_name;
// - adds only -batch, -hostkey and -P from c:\bridge\conf.txt; everything
//   else (user, password, options, remote paths, remote commands) reaches the
//   real tool unchanged;
// - runs the tool through a small Linux runner on the inherited standard
//   handles, so its output goes wherever the command interpreter sent ours.
// Wine starts a Linux program detached and reports no exit status for it, so
// the runner writes the tool's status to a file that we wait for; that status
// becomes ours. Every call is appended to c:\bridge\journal.txt.
//
// So that a test can place a fault at a chosen moment, each call knows its
// kind (mirror, upload, chmod, rename) and:
// - stops before or after running the tool when c:\bridge\hold.txt names that
//   point ("upload before", "rename after", ...): it creates
//   c:\bridge\reached.txt and waits until the test removes hold.txt;
// - for an upload, when c:\bridge\stall.txt holds a byte count, connects
//   through stall_proxy.pl, which lets that many bytes through and then
//   creates c:\bridge\stalled.txt and holds the rest back.
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#ifndef BRIDGE_TOOL
#error "BRIDGE_TOOL must name the tool: \"pscp\" or \"plink\""
#endif

namespace {

constexpr const char* kBridgeDir = "c:\\bridge\\";
constexpr int kBridgeFailure = 125;  // the bridge itself failed, not the tool

struct Config {
  std::string port, hostkey, tool, runner, home, proxy;
};

[[noreturn]] void die(const std::string& message) {
  std::fprintf(stderr, "bridge %s: %s\n", BRIDGE_TOOL, message.c_str());
  std::fflush(stderr);
  ExitProcess(kBridgeFailure);
}

// The whole file; none when it cannot be opened.
std::optional<std::string> read_file(const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return std::nullopt;
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  std::fclose(f);
  return text;
}

// conf.txt: lines "key=value"; the tool's path is under the key of its name.
Config read_config() {
  const std::optional<std::string> conf = read_file(std::string(kBridgeDir) + "conf.txt");
  if (!conf) die("cannot read c:\\bridge\\conf.txt");
  const std::string& text = *conf;
  Config c;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "port") c.port = value;
    if (key == "hostkey") c.hostkey = value;
    if (key == BRIDGE_TOOL) c.tool = value;
    if (key == "runner") c.runner = value;
    if (key == "home") c.home = value;
    if (key == "proxy") c.proxy = value;
  }
  if (c.port.empty() || c.hostkey.empty() || c.tool.empty() || c.runner.empty() || c.home.empty())
    die("conf.txt lacks port, hostkey, " BRIDGE_TOOL ", runner or home");
  return c;
}

std::string unix_path(const std::string& windows_path) {
  using WineGetUnixFileName = char*(CDECL*)(LPCWSTR);
  static auto fn = reinterpret_cast<WineGetUnixFileName>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (fn == nullptr) die("not running under wine (no wine_get_unix_file_name)");
  const int n = MultiByteToWideChar(CP_ACP, 0, windows_path.c_str(), -1, nullptr, 0);
  std::vector<wchar_t> wide(static_cast<size_t>(n));
  MultiByteToWideChar(CP_ACP, 0, windows_path.c_str(), -1, wide.data(), n);
  char* result = fn(wide.data());
  if (result == nullptr) die("no Linux path for " + windows_path);
  std::string path(result);
  HeapFree(GetProcessHeap(), 0, result);
  return path;
}

// As the Windows pscp decides: a colon makes an argument remote unless it is
// the colon of a drive letter, or a slash comes before it.
bool is_local(const std::string& arg) {
  if (arg.size() >= 2 && std::isalpha(static_cast<unsigned char>(arg[0])) && arg[1] == ':')
    return true;
  for (char ch : arg) {
    if (ch == ':') return false;
    if (ch == '/' || ch == '\\') return true;
  }
  return true;
}

// A local source as the Windows pscp takes it: a wildcard in the last path
// element is expanded here (every entry but "." and ".."), in directory order.
void add_local_source(const std::string& arg, std::vector<std::string>& out) {
  const size_t slash = arg.find_last_of("\\/");
  const std::string last = slash == std::string::npos ? arg : arg.substr(slash + 1);
  if (last.find_first_of("*?") == std::string::npos) {
    out.push_back(unix_path(arg));
    return;
  }
  const std::string dir = slash == std::string::npos ? "" : arg.substr(0, slash + 1);
  WIN32_FIND_DATAA data;
  HANDLE h = FindFirstFileA(arg.c_str(), &data);
  if (h == INVALID_HANDLE_VALUE) {
    out.push_back(unix_path(arg));  // the tool reports the missing source itself
    return;
  }
  bool matched = false;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    out.push_back(unix_path(dir + name));
    matched = true;
  } while (FindNextFileA(h, &data));
  FindClose(h);
  if (!matched) out.push_back(unix_path(arg));
}

// PuTTY's options that take a value, so that the value is not taken for a
// file or the host.
bool takes_value(const std::string& opt) {
  static const char* const with_value[] = {
      "-l", "-pw", "-P",      "-i",         "-hostkey",  "-load",     "-m",     "-L",
      "-R", "-D",  "-sshlog", "-sshrawlog", "-proxycmd", "-jumphost", "-pwfile"};
  for (const char* o : with_value)
    if (opt == o) return true;
  return false;
}

// The tool's own arguments after ours, local paths of pscp converted.
std::vector<std::string> translate(int argc, char** argv) {
  std::vector<std::string> out;
  const bool pscp = std::strcmp(BRIDGE_TOOL, "pscp") == 0;
  std::vector<std::string> files;
  int i = 1;
  for (; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.empty() || a[0] != '-') break;
    out.push_back(a);
    if (takes_value(a) && i + 1 < argc) out.emplace_back(argv[++i]);
  }
  if (!pscp) {  // plink: the host and the remote command, as they came
    for (; i < argc; ++i) out.emplace_back(argv[i]);
    return out;
  }
  for (; i < argc; ++i) files.emplace_back(argv[i]);
  for (size_t k = 0; k < files.size(); ++k) {
    const bool target = k + 1 == files.size();
    if (!is_local(files[k]))
      out.push_back(files[k]);
    else if (target)
      out.push_back(unix_path(files[k]));
    else
      add_local_source(files[k], out);
  }
  return out;
}

// Quoting by the Windows rules, which wine follows when it splits the command
// line into the Linux program's arguments.
std::string quote(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string q = "\"";
  size_t backslashes = 0;
  for (char ch : arg) {
    if (ch == '\\') {
      ++backslashes;
      continue;
    }
    if (ch == '"') backslashes = backslashes * 2 + 1;
    q.append(backslashes, '\\');
    backslashes = 0;
    q += ch;
  }
  q.append(backslashes * 2, '\\');
  q += '"';
  return q;
}

void journal(const char* status, const std::string& linux_args) {
  const std::string path = std::string(kBridgeDir) + "journal.txt";
  FILE* f = std::fopen(path.c_str(), "ab");
  if (f == nullptr) die("cannot append to c:\\bridge\\journal.txt");
  std::fprintf(f, "%s\t%s\t%s\t%s\n", BRIDGE_TOOL, status, GetCommandLineA(), linux_args.c_str());
  std::fclose(f);
}

// Which of the program's four calls this is.
std::string call_kind(int argc, char** argv) {
  const bool pscp = std::strcmp(BRIDGE_TOOL, "pscp") == 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (pscp && a == "-l" && i + 1 < argc)
      return std::strcmp(argv[i + 1], "kofra") == 0 ? "upload" : "mirror";
    if (!pscp && a == "chmod") return "chmod";
    if (!pscp && a == "mv") return "rename";
  }
  return pscp ? "mirror" : "other";
}

std::string trimmed(std::string text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  return text;
}

void hold_at(const std::string& kind, const char* when) {
  const std::string hold = std::string(kBridgeDir) + "hold.txt";
  const std::optional<std::string> point = read_file(hold);
  if (!point || trimmed(*point) != kind + " " + when) return;
  const std::string reached = std::string(kBridgeDir) + "reached.txt";
  FILE* f = std::fopen((reached + ".part").c_str(), "wb");
  if (f == nullptr) die("cannot create c:\\bridge\\reached.txt");
  std::fprintf(f, "%s %s %lu\n", kind.c_str(), when, GetCurrentProcessId());
  std::fclose(f);
  if (!MoveFileExA((reached + ".part").c_str(), reached.c_str(), MOVEFILE_REPLACE_EXISTING))
    die("cannot create c:\\bridge\\reached.txt");
  while (GetFileAttributesA(hold.c_str()) != INVALID_FILE_ATTRIBUTES) Sleep(20);
}

}  // namespace

int main(int argc, char** argv) {
  const Config config = read_config();
  const std::vector<std::string> args = translate(argc, argv);
  const std::string kind = call_kind(argc, argv);

  char status_name[MAX_PATH];
  std::snprintf(status_name, sizeof status_name, "%sstatus-%lu-%lu", kBridgeDir,
                GetCurrentProcessId(), GetTickCount());
  DeleteFileA(status_name);

  std::string tail;
  for (const std::string& a : args) tail.append(" ").append(quote(a));
  std::string command = "/bin/sh";
  for (const std::string& word :
       {config.runner, unix_path(status_name), config.home, config.tool, std::string("-batch"),
        std::string("-hostkey"), config.hostkey, std::string("-P"), config.port})
    command.append(" ").append(quote(word));
  if (kind == "upload") {
    const std::optional<std::string> stall = read_file(std::string(kBridgeDir) + "stall.txt");
    if (stall) {
      if (config.proxy.empty()) die("conf.txt lacks proxy");
      const std::string proxy = "perl " + config.proxy + " 127.0.0.1 " + config.port + " " +
                                trimmed(*stall) + " " +
                                unix_path(std::string(kBridgeDir) + "stalled.txt");
      command.append(" -proxycmd ").append(quote(proxy));
    }
  }
  command.append(tail);

  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION pi{};
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  hold_at(kind, "before");
  if (!CreateProcessA("/bin/sh", line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si,
                      &pi))
    die("cannot start the Linux runner, error " + std::to_string(GetLastError()));
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);

  // The status file appears, whole, when the tool has ended. Ten minutes is
  // far beyond any call of the test; the test would time out before.
  std::optional<std::string> written;
  for (int waited = 0; !written; waited += 20) {
    if (waited > 600000) die("no exit status from the Linux tool after ten minutes");
    Sleep(20);
    written = read_file(status_name);
  }
  DeleteFileA(status_name);
  std::string status = *written;
  while (!status.empty() && (status.back() == '\n' || status.back() == '\r')) status.pop_back();
  journal(status.c_str(), tail);
  hold_at(kind, "after");
  return std::atoi(status.c_str());
}
