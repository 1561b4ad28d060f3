// pscp stand-in: "pscp [-p] [-r] [-l user] [-pw password] source... [user@]host:path".
// Copies local files (a source may hold wildcards) into the stand-in host's
// folders. Like the real tool it refuses a directory without -r, with an
// error and a non-zero status, but still copies the files beside it.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "standin.h"

namespace {

struct Source {
  std::string path;
  std::string name;
  bool directory = false;
};

std::string dir_part(const std::string& path) {
  std::size_t slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

bool is_directory(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The files that one source names; false when it names nothing.
bool expand(const std::string& source, std::vector<Source>& out) {
  if (source.find_first_of("*?") == std::string::npos) {
    DWORD attributes = GetFileAttributesA(source.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    std::string name = source.substr(dir_part(source).size());
    out.push_back({source, name, (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    return true;
  }
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(source.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return false;
  do {
    if (std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0) continue;
    out.push_back({dir_part(source) + data.cFileName, data.cFileName,
                   (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  standin::journal_command_line();
  bool recursive = false;
  std::string user;
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-p" || arg == "-q" || arg == "-batch") continue;
    if (arg == "-r") {
      recursive = true;
    } else if ((arg == "-l" || arg == "-pw" || arg == "-P") && i + 1 < argc) {
      if (arg == "-l") user = argv[i + 1];
      ++i;
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "pscp: unknown option \"%s\"\n", arg.c_str());
      return 1;
    } else {
      words.push_back(arg);
    }
  }
  if (words.size() < 2) {
    std::fprintf(stderr, "pscp: need a source and a target\n");
    return 1;
  }
  std::string target = words.back();
  words.pop_back();
  std::size_t colon = target.find(':');
  // "c:\..." is a local path, not host "c".
  if (colon == std::string::npos || colon == 1) {
    std::fprintf(stderr, "pscp: local to local copy not supported\n");
    return 1;
  }
  standin::Login login = standin::split_login(target.substr(0, colon));
  if (login.user.empty()) login.user = user;
  std::string remote = target.substr(colon + 1);
  if (login.user.empty() || login.host.empty()) {
    std::fprintf(stderr, "pscp: no user name for %s\n", login.host.c_str());
    return 1;
  }

  bool into_directory = remote.empty() || remote.back() == '/' || words.size() > 1;
  const char* step = into_directory ? "pscp-mirror" : "pscp-upload";
  if (std::optional<int> status = standin::forced_failure(step)) {
    std::fprintf(stderr, "FATAL ERROR: Network error: Connection refused (%s)\n", step);
    return *status;
  }

  std::string absolute = standin::resolve_remote(login.user, remote);
  std::string destination = standin::host_path(login.host, absolute);
  if (!is_directory(standin::host_path(login.host, "/"))) {
    std::fprintf(stderr, "FATAL ERROR: Network error: Host does not exist (%s)\n",
                 login.host.c_str());
    return 1;
  }
  std::vector<Source> sources;
  int status = 0;
  for (const std::string& word : words) {
    if (!expand(word, sources)) {
      std::fprintf(stderr, "pscp: %s: No such file or directory\n", word.c_str());
      status = 1;
    }
  }
  bool target_is_directory = is_directory(destination);
  if (sources.size() > 1 && !target_is_directory) {
    std::fprintf(stderr, "scp: %s: Not a directory\n", remote.c_str());
    return 1;
  }
  for (const Source& source : sources) {
    if (source.directory) {
      // This stand-in copies no trees, with -r or without; the message is
      // the real pscp's for a directory without -r.
      std::fprintf(stderr, "pscp: %s: not a regular file%s\n", source.path.c_str(),
                   recursive ? " (not copied by this stand-in)" : "");
      status = 1;
      continue;
    }
    std::string to = target_is_directory ? destination + "\\" + source.name : destination;
    if (!CopyFileA(source.path.c_str(), to.c_str(), FALSE)) {
      std::fprintf(stderr, "scp: %s: No such file or directory\n", remote.c_str());
      status = 1;
      continue;
    }
    WIN32_FILE_ATTRIBUTE_DATA data;
    unsigned long size = 0;
    if (GetFileAttributesExA(to.c_str(), GetFileExInfoStandard, &data)) size = data.nFileSizeLow;
    // The real pscp's last progress line: a carriage return first, as it
    // rewrites the line while the copy runs; the size in whole kB.
    std::printf("\r%-25s | %lu kB |   0.0 kB/s | ETA: 00:00:00 | 100%%\n", source.name.c_str(),
                size / 1024);
  }
  std::fflush(stdout);
  return status;
}
