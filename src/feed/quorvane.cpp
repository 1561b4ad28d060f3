// The feed cycle (main) and the delivery of one file (RUNIN).
//
// Before every statement that can fault or call, a routine stores in its
// frame the source line of that statement, which is always the next line.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "feed/feeder.h"
#include "feed/hosts.h"
#include "runtime/console/records.h"
#include "runtime/fixed_text.h"
#include "runtime/process/fault.h"
#include "runtime/process/frames.h"

namespace quorvane {
namespace {

constexpr const char* kSourceFile = "Quorvane";

constexpr FixedText<36> LATESTDIR{"c:\\vesk\\data\\latest\\"};
constexpr FixedText<12> MASK{"LR*.B_G"};
constexpr FixedText<30> PUTTYDIR{"\"c:\\Program Files\\putty\\"};
constexpr FixedText<30> STOREDDIR{"c:\\vesk\\data\\stored\\"};
constexpr std::string_view kRemoteDir = "../rirezeda/";
constexpr std::string_view kNextB = "../rirezeda/NextB_G";

constexpr std::string_view kMirrorHead = "pscp -p -l tamrik -pw 7Qa518 c:\\httpd\\*.* ";
constexpr std::string_view kMirrorTail = ":/usr/httpd/htdocs/zuraziz/Corvatine/Zavidovi/";
constexpr std::string_view kUploadTool = "pscp\" -p -l kofra -pw malkory ";
constexpr std::string_view kPlinkLogin = "plink\" -ssh -pw malkory                  kofra@";
constexpr std::string_view kUploadRedirect = " >temp.txt";
constexpr std::string_view kMoveHead = "/c move /Y ";
// The upload's standard output; its presence shows that the tool ran.
constexpr std::string_view kTempFile = "temp.txt";

constexpr std::string_view kStopMessage = "**Quorvane NORMAL TERMINATION***";

// Every file of the acquisition program has a name this short; a longer one
// would be cut in INFILE and the commands would act on another path.
constexpr std::size_t kLongestName = 20;

static_assert(kMirrorHead.size() == 42 && kMirrorTail.size() == 46);
static_assert(kUploadTool.size() == 30 && kPlinkLogin.size() == 47);
static_assert(PUTTYDIR.trimmed_length() == 24 && LATESTDIR.trimmed_length() == 20);

constexpr bool letter_or_digit(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// Dot-separated labels of letters, digits and "-", each beginning and ending
// with a letter or a digit: nothing that a command interpreter, a remote
// shell or the tool itself (as an option) reads as more than a name.
constexpr bool plain_host_name(std::string_view name) {
  std::size_t label_start = 0;
  for (std::size_t i = 0; i <= name.size(); ++i) {
    if (i == name.size() || name[i] == '.') {
      if (i == label_start || !letter_or_digit(name[label_start]) ||
          !letter_or_digit(name[i - 1])) {
        return false;
      }
      label_start = i + 1;
    } else if (!letter_or_digit(name[i]) && name[i] != '-') {
      return false;
    }
  }
  return true;
}
static_assert(plain_host_name("a") && plain_host_name("127.0.0.1") && plain_host_name("x-1.lab"));
static_assert(!plain_host_name("") && !plain_host_name("-P2222") && !plain_host_name("a..b") &&
              !plain_host_name("a.") && !plain_host_name("a-.b") && !plain_host_name("a_b"));

// The host names must leave every command line whole within its 180 columns.
static_assert(plain_host_name(ARCHIVE_HOST) && ARCHIVE_HOST.size() <= 42);
static_assert(plain_host_name(WEB_HOST) && WEB_HOST.size() <= 92);

// A name that the command lines carry unquoted: letters, digits, ".", "_", "-";
// not ending in ".", which Windows drops from a path, so that the commands
// would act on another file.
bool safe_in_command_line(std::string_view name) {
  if (!name.empty() && name.back() == '.') return false;
  for (char c : name) {
    const bool safe = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                      c == '.' || c == '_' || c == '-';
    if (!safe) return false;
  }
  return true;
}

// Columns first to last of a field, the start checked against the field.
FieldRef substring(FieldRef field, std::size_t first, std::size_t last) {
  if (first < 1 || first > field.width()) {
    fault_substring_range();
    return {field.data(), 0};  // reached only while the exit step runs
  }
  if (last > field.width()) last = field.width();
  if (last + 1 < first) last = first - 1;
  return field.part(first, last);
}

}  // namespace

void Feeder::main() {
  RoutineFrame frame;
  push_frame(frame);
  frame.source_file = kSourceFile;
  frame.routine_name = nullptr;
  MainVariables& v = main_;

  // One run at a time: two would share the one temporary remote name.
  frame.at(__LINE__ + 1);
  if (host_.take_run_lock() == kFalse) {
    frame.at(__LINE__ + 1);
    write_free_record({" another run is under way: waiting for it to end"});
    frame.at(__LINE__ + 1);
    host_.wait_run_lock();
  }

  // Start of the run.
  v.PATTERN.join({LATESTDIR.trimmed(), MASK.trimmed()});
  v.HANDLE = FILE_FIRST;
  frame.at(__LINE__ + 1);
  write_free_record({"hndl=", v.HANDLE});
  frame.at(__LINE__ + 1);
  write_free_record({"hndl=", v.HANDLE, " file$last=", FILE_LAST, "leng= ", v.LENGTH});

  for (;;) {
    frame.at(__LINE__ + 1);
    v.LENGTH = host_.find_file_info(v.PATTERN, v.INFO, v.HANDLE);
    frame.at(__LINE__ + 1);
    write_free_record({"ffiles=", v.PATTERN});
    frame.at(__LINE__ + 1);
    write_free_record({"hndl=", v.HANDLE, " file$last=", FILE_LAST, "leng= ", v.LENGTH});

    // The web mirror, once per cycle, the last one included.
    v.CMD.join({kMirrorHead, WEB_HOST, kMirrorTail});
    frame.at(__LINE__ + 1);
    v.OK = host_.run_command(v.CMD, v.STATUS);
    if (v.OK == kFalse) {
      frame.at(__LINE__ + 1);
      const std::int32_t number = host_.last_error_number();
      v.ERRNUM = static_cast<float>(number);
      frame.at(__LINE__ + 1);
      write_formatted_record("(a,i10)", {" Error number transferring analys :", number});
    }

    if (v.LENGTH == 0) {
      frame.at(__LINE__ + 1);
      stop_run(kStopMessage);
    }

    const std::string_view name = v.INFO.name.trimmed();
    frame.at(__LINE__ + 1);
    write_free_record({" file found:  ", name});

    // The name as found: LENGTH gives its full length, even past the field,
    // and trailing blanks count as part of it.
    const std::size_t name_length = v.LENGTH > 0 && static_cast<std::size_t>(v.LENGTH) > name.size()
                                        ? static_cast<std::size_t>(v.LENGTH)
                                        : name.size();
    if (name_length > kLongestName) {
      frame.at(__LINE__ + 1);
      write_free_record({" file left in place: name longer than 20 characters"});
      v.STATE = kNotReady;
    } else if (!safe_in_command_line(v.INFO.name.text().substr(0, name_length))) {
      frame.at(__LINE__ + 1);
      write_free_record({" file left in place: name unsafe in a command line"});
      v.STATE = kNotReady;
    } else {
      v.INFILE.join({LATESTDIR.trimmed(), name});
      v.OUTFILE.join({kRemoteDir, name});
      frame.at(__LINE__ + 1);
      host_.inquire_file(v.INFILE, v.EXISTS, v.INUSE);
      v.STATE = (v.EXISTS != kFalse && v.INUSE == kFalse) ? kReady : kNotReady;
      // What lies there now may be only a part of the file.
      if (v.STATE == kReady) {
        frame.at(__LINE__ + 1);
        if (host_.file_being_written(v.INFILE) != kFalse) {
          frame.at(__LINE__ + 1);
          write_free_record({" file left in place: still being written"});
          v.STATE = kNotReady;
        }
      }
    }

    if (v.STATE == kReady) {
      frame.at(__LINE__ + 1);
      RUNIN(v.INFILE, v.OUTFILE);
    } else {
      frame.at(__LINE__ + 1);
      host_.pause_seconds(10);
    }
    frame.at(__LINE__ + 1);
    host_.pause_seconds(10);
  }
}

void Feeder::RUNIN(const FixedText<40>& INFILE, const FixedText<36>& OUTFILE) {
  RoutineFrame frame;
  push_frame(frame);
  frame.source_file = kSourceFile;
  frame.routine_name = "RUNIN";
  RuninVariables& v = runin_;

  v.NEXTB = kNextB;
  frame.at(__LINE__ + 1);
  write_formatted_record("(a)", {JoinedText{" In RUNIN, INFILE = [", INFILE, "]"}});

  // Upload under the one temporary name. A failed upload must not be renamed:
  // the temporary name would still hold an earlier file's content. The
  // interpreter ends with 0 also when its redirection failed and pscp never
  // ran, so only a temp.txt made anew by this upload shows that it ran.
  frame.at(__LINE__ + 1);
  if (host_.remove_file(kTempFile) == kFalse) {
    frame.at(__LINE__ + 1);
    write_formatted_record("(a)", {" Upload not run: temp.txt cannot be removed"});
    v.OK = kFalse;
  } else {
    v.CMD.join({PUTTYDIR.trimmed(), kUploadTool, INFILE, " ", ARCHIVE_HOST, ":", v.NEXTB,
                kUploadRedirect});
    frame.at(__LINE__ + 1);
    v.OK = host_.run_command(v.CMD, v.STATUS);
    if (v.OK == kFalse) {
      frame.at(__LINE__ + 1);
      const std::int32_t number = host_.last_error_number();
      v.ERRNUM = static_cast<float>(number);
      frame.at(__LINE__ + 1);
      write_formatted_record("(a,i10)", {" Error number starting up pscp :", number});
    } else if (v.STATUS != 0) {
      frame.at(__LINE__ + 1);
      write_formatted_record("(a,i10)", {" Exit status of pscp :", v.STATUS});
      v.OK = kFalse;
    } else {
      frame.at(__LINE__ + 1);
      host_.inquire_file(kTempFile, v.TMPEX, v.TMPUS);
      if (v.TMPEX == kFalse) {
        frame.at(__LINE__ + 1);
        write_formatted_record("(a)", {" Upload not counted: no temp.txt was written"});
        v.OK = kFalse;
      }
    }
  }

  if (v.OK != kFalse) {
    // Group write. Its failure only withholds the grant: the rename still runs.
    v.CMD.join({PUTTYDIR.trimmed(), kPlinkLogin, ARCHIVE_HOST, " chmod g+w ", v.NEXTB});
    frame.at(__LINE__ + 1);
    v.OK = host_.run_command(v.CMD, v.STATUS);
    if (v.OK == kFalse) {
      frame.at(__LINE__ + 1);
      v.ERRNUM = static_cast<float>(host_.last_error_number());
      frame.at(__LINE__ + 1);
      write_free_record({"Error number chmod g+w :", v.ERRNUM});
    } else if (v.STATUS != 0) {
      frame.at(__LINE__ + 1);
      write_formatted_record("(a,i10)", {" Exit status of chmod g+w :", v.STATUS});
    }

    // Rename to the file's own name; only its success lets the file move.
    v.CMD.join({PUTTYDIR.trimmed(), kPlinkLogin, ARCHIVE_HOST, " mv ", v.NEXTB, " ", OUTFILE});
    frame.at(__LINE__ + 1);
    v.OK = host_.run_command(v.CMD, v.STATUS);
    if (v.OK == kFalse) {
      frame.at(__LINE__ + 1);
      v.ERRNUM = static_cast<float>(host_.last_error_number());
      frame.at(__LINE__ + 1);
      write_free_record({"Error number starting up mv :", v.ERRNUM});
    } else if (v.STATUS != 0) {
      frame.at(__LINE__ + 1);
      write_formatted_record("(a,i10)", {" Exit status of mv :", v.STATUS});
      v.OK = kFalse;
    }
  }

  // The record line, composed before the move: NRQr= shows the previous move.
  frame.at(__LINE__ + 1);
  TIMDAT(v.CDATE, v.CTIME);
  frame.at(__LINE__ + 1);
  format_into(
      v.LINE, "(a, i5)",
      {JoinedText{"    Did [", INFILE.trimmed(), "] on ", v.CDATE, ". At ", v.CTIME, ". NRQr="},
       v.NRQ});
  if (v.OK == kFalse) {
    frame.at(__LINE__ + 1);
    format_into(substring(v.LINE, 2, 7), "(a6)", {"FailCM"});
  } else {
    frame.at(__LINE__ + 1);
    write_formatted_record("(a)", {JoinedText{" About to move file named [", INFILE, "]"}});
    frame.at(__LINE__ + 1);
    v.NRQ = host_.run_program("cmd.exe", JoinedText{kMoveHead, INFILE, " ", STOREDDIR});
  }
  frame.at(__LINE__ + 1);
  write_formatted_record("(a)", {v.LINE});

  pop_frame();
}

}  // namespace quorvane
