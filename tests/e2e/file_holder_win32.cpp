// "file_holder MODE FILE READY STOP": holds FILE open as another program on
// the PC would, until the file STOP exists. READY is created once FILE is
// open, so that a test starts its run only then. MODE:
//   writer     the acquisition program still writing: write access, sharing
//              read, write and delete, a line appended every 300 ms
//   reader     a viewer: read access, sharing read and write
//   exclusive  no sharing at all (FILE is created when missing)
// Exits 0 when told to stop, 2 when FILE cannot be opened, 3 when no STOP
// came within ten minutes.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

bool exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

bool create_flag(const char* path) {
  HANDLE h =
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  CloseHandle(h);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: file_holder writer|reader|exclusive FILE READY STOP\n");
    return 2;
  }
  const char* mode = argv[1];
  DWORD access = 0, share = 0, disposition = 0;
  if (std::strcmp(mode, "writer") == 0) {
    access = FILE_APPEND_DATA;
    share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    disposition = OPEN_ALWAYS;
  } else if (std::strcmp(mode, "reader") == 0) {
    access = GENERIC_READ;
    share = FILE_SHARE_READ | FILE_SHARE_WRITE;
    disposition = OPEN_EXISTING;
  } else if (std::strcmp(mode, "exclusive") == 0) {
    access = GENERIC_READ | GENERIC_WRITE;
    disposition = OPEN_ALWAYS;
  } else {
    std::fprintf(stderr, "file_holder: unknown mode %s\n", mode);
    return 2;
  }
  HANDLE file =
      CreateFileA(argv[2], access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "file_holder: cannot open %s (error %lu)\n", argv[2], GetLastError());
    return 2;
  }
  if (!create_flag(argv[3])) {
    std::fprintf(stderr, "file_holder: cannot create %s (error %lu)\n", argv[3], GetLastError());
    CloseHandle(file);
    return 2;
  }
  const bool writer = access == FILE_APPEND_DATA;
  int status = 3;
  for (int tick = 0; tick < 12000; ++tick) {  // 50 ms each: ten minutes
    if (exists(argv[4])) {
      status = 0;
      break;
    }
    if (writer && tick % 6 == 0) {
      char line[64];
      const int n = std::snprintf(line, sizeof line, "appended, tick %d\r\n", tick);
      DWORD written = 0;
      WriteFile(file, line, static_cast<DWORD>(n), &written, nullptr);
    }
    Sleep(50);
  }
  CloseHandle(file);
  return status;
}
