// "stdin_launcher FILE PROGRAM [ARG...]": runs PROGRAM with FILE, opened on
// the Windows side, as its standard input, and exits with its status. Wine
// gives a program whose standard input a Linux shell redirected a handle of
// its own making; this gives the child a true Windows file handle, as a
// Windows command interpreter would.
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: stdin_launcher FILE PROGRAM [ARG...]\n");
    return 2;
  }
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE input = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (input == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "stdin_launcher: cannot open %s (error %lu)\n", argv[1], GetLastError());
    return 2;
  }
  std::string command_line = std::string("\"") + argv[2] + "\"";
  for (int i = 3; i < argc; ++i) command_line += std::string(" ") + argv[i];

  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(argv[2], command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                      &startup, &process)) {
    std::fprintf(stderr, "stdin_launcher: cannot start %s (error %lu)\n", argv[2], GetLastError());
    CloseHandle(input);
    return 2;
  }
  CloseHandle(input);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(status);
}
