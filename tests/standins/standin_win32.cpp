#include <windows.h>

#include <cstdio>

#include "standin.h"

namespace standin {

bool append_line(const std::string& path, std::string_view line) {
  // Appends are atomic per write, so lines from nested stand-ins never mix.
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string text(line);
  text += '\n';
  DWORD written = 0;
  BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == text.size();
}

void journal_command_line() {
  if (!append_line(std::string(kHostsDir) + "journal.txt", GetCommandLineA())) {
    std::fprintf(stderr, "stand-in: cannot write the journal in %s\n", kHostsDir);
  }
}

std::optional<int> forced_failure(std::string_view step) {
  std::string text;
  if (FILE* f = std::fopen((std::string(kHostsDir) + "control.txt").c_str(), "rb")) {
    char buf[512];
    std::size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    std::fclose(f);
  }
  return forced_status(text, step);
}

}  // namespace standin
