// plink stand-in: "plink [-ssh] [-batch] [-pw password] [-l user] [user@]host command...".
// Runs the two remote commands that the delivery uses on the stand-in host's
// folders: "chmod MODE PATH..." (logged in the host's grants.txt) and
// "mv FROM TO". The exit status is the remote command's.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "standin.h"

namespace {

bool exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

int chmod(const standin::Login& login, const std::vector<std::string>& args) {
  if (args.size() < 2) {
    std::fprintf(stderr, "chmod: missing operand\n");
    return 1;
  }
  int status = 0;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string absolute = standin::resolve_remote(login.user, args[i]);
    if (!exists(standin::host_path(login.host, absolute))) {
      std::fprintf(stderr, "chmod: cannot access '%s': No such file or directory\n",
                   args[i].c_str());
      status = 1;
      continue;
    }
    standin::append_line(standin::host_path(login.host, "/grants.txt"), args[0] + " " + absolute);
  }
  return status;
}

int mv(const standin::Login& login, const std::vector<std::string>& args) {
  if (args.size() != 2) {
    std::fprintf(stderr, "mv: this stand-in moves one file to one name\n");
    return 1;
  }
  std::string from = standin::host_path(login.host, standin::resolve_remote(login.user, args[0]));
  std::string to = standin::host_path(login.host, standin::resolve_remote(login.user, args[1]));
  DWORD attributes = GetFileAttributesA(to.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    to += '\\';
    to.append(from, from.find_last_of('\\') + 1);
  }
  if (!exists(from)) {
    std::fprintf(stderr, "mv: cannot stat '%s': No such file or directory\n", args[0].c_str());
    return 1;
  }
  if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    std::fprintf(stderr, "mv: cannot move '%s' to '%s'\n", args[0].c_str(), args[1].c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  standin::journal_command_line();
  std::string user;
  int i = 1;
  for (; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "-ssh" || arg == "-batch" || arg == "-t" || arg == "-T") continue;
    if ((arg == "-pw" || arg == "-l" || arg == "-P") && i + 1 < argc) {
      if (arg == "-l") user = argv[i + 1];
      ++i;
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-') {
      std::fprintf(stderr, "plink: unknown option \"%s\"\n", arg.c_str());
      return 1;
    }
    break;
  }
  if (i >= argc) {
    std::fprintf(stderr, "plink: no host name given\n");
    return 1;
  }
  standin::Login login = standin::split_login(argv[i++]);
  if (login.user.empty()) login.user = user;
  std::vector<std::string> args(argv + i, argv + argc);
  if (login.user.empty() || args.empty()) {
    std::fprintf(stderr, "plink: need a user and a remote command\n");
    return 1;
  }
  std::string command = args.front();
  args.erase(args.begin());
  if (command != "chmod" && command != "mv") {
    std::fprintf(stderr, "bash: %s: command not found\n", command.c_str());
    return 127;
  }
  std::string step = "plink-" + command;
  if (std::optional<int> status = standin::forced_failure(step)) {
    std::fprintf(stderr, "FATAL ERROR: Network error: Connection refused (%s)\n", step.c_str());
    return *status;
  }
  if (!exists(standin::host_path(login.host, "/"))) {
    std::fprintf(stderr, "FATAL ERROR: Network error: Host does not exist (%s)\n",
                 login.host.c_str());
    return 1;
  }
  return command == "chmod" ? chmod(login, args) : mv(login, args);
}
