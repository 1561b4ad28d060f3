// Stand-ins for PuTTY's pscp and plink in the whole-program tests and the
// demo: folders inside the wine prefix play the remote hosts.
//
//   c:\hosts\<host>\             the host's root directory "/"
//   c:\hosts\<host>\home\<user>\ the user's login directory
//   c:\hosts\<host>\grants.txt   one line per permission granted with chmod
//   c:\hosts\journal.txt         every stand-in's full command line, one a line
//   c:\hosts\control.txt         lines "<step> <status>" that make a step fail
//
// The steps are "pscp-upload" (copy to one remote file), "pscp-mirror" (copy
// into a remote directory), "plink-chmod" and "plink-mv". A failing step
// prints an error, does nothing and exits with the status asked for.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

inline constexpr char kHostsDir[] = "c:\\hosts\\";

// The remote path as the host's absolute, normalised path ("/home/rirezeda/x"):
// a relative path starts in /home/<user>, "." and empty parts are dropped, and
// ".." never climbs above "/". A backslash counts as a plain character.
std::string resolve_remote(std::string_view user, std::string_view remote);

// The local path in the prefix of a host's absolute path.
std::string host_path(std::string_view host, std::string_view absolute);

// The status that control text asks step to fail with; none when no line
// names the step. Later lines override earlier ones.
std::optional<int> forced_status(std::string_view control, std::string_view step);

// The part of "user@host" or "host" before and after the "@".
struct Login {
  std::string user;
  std::string host;
};
Login split_login(std::string_view word);

// --- Windows side (standin_win32.cpp) ---

// Appends this process's command line, exactly as GetCommandLineA gives it,
// as one line to the journal.
void journal_command_line();

// The status from the control file for step, if any.
std::optional<int> forced_failure(std::string_view step);

// Appends one line to a file, creating it when missing.
bool append_line(const std::string& path, std::string_view line);

}  // namespace standin
