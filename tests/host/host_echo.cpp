// A child for the host services' tests. It appends one line,
// "<its own module path>|<its command line>", to the file named by the
// environment variable QUORVANE_ECHO_LOG (when set), and exits with the
// status in QUORVANE_ECHO_STATUS (0 when unset; 4294967295 gives -1).
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main() {
  char log[MAX_PATH];
  const DWORD n = GetEnvironmentVariableA("QUORVANE_ECHO_LOG", log, sizeof log);
  if (n > 0 && n < sizeof log) {
    char module[MAX_PATH];
    const DWORD m = GetModuleFileNameA(nullptr, module, sizeof module);
    module[m < sizeof module ? m : 0] = '\0';
    if (FILE* out = std::fopen(log, "ab")) {
      std::fprintf(out, "%s|%s\n", module, GetCommandLineA());
      std::fclose(out);
    }
  }
  char status[16];
  const DWORD s = GetEnvironmentVariableA("QUORVANE_ECHO_STATUS", status, sizeof status);
  if (s > 0 && s < sizeof status) ExitProcess(std::strtoul(status, nullptr, 10));
  return 0;
}
