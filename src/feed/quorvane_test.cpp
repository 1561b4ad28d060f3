#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "feed/feeder.h"
#include "feed/hosts.h"
#include "feed/scripted_host.h"
#include "runtime/process/recording_platform.h"

namespace quorvane {
namespace {

std::string blanks(std::size_t n) { return std::string(n, ' '); }

std::string padded(std::string text, std::size_t width) {
  text.resize(width, ' ');
  return text;
}

std::string right(std::int32_t value, std::size_t width) {
  const std::string digits = std::to_string(value);
  return blanks(width > digits.size() ? width - digits.size() : 0) + digits;
}

const std::string kLatest = "c:\\vesk\\data\\latest\\";
const std::string kStop = "**Quorvane NORMAL TERMINATION***";
const std::string kStart1 = "hndl=         -1";
const std::string kStart2 = "hndl=         -1 file$last=         -2leng=           0";
const std::string kFfiles = "ffiles=c:\\vesk\\data\\latest\\LR*.B_G" + blanks(15);
const std::string kLastHndl = "hndl=         -2 file$last=         -2leng=           0";

std::string hndl(std::int32_t length) {
  return "hndl=        884 file$last=         -2leng=" + right(length, 12);
}

// The console stream of a whole run: each line as shown, the first with no
// line end before it, then the stop and the exit step's line end.
std::string console(const std::vector<std::string>& lines) {
  std::string stream;
  for (const std::string& line : lines) {
    if (!stream.empty()) stream += "\r\n";
    stream += line;
  }
  return stream + "\r\n" + kStop + "\r\n\r\n";
}

// The record line as shown: 119 columns after the carriage-control blank.
std::string record_line(std::string_view mark, const std::string& name, std::string_view date,
                        std::string_view time, std::int32_t nrq) {
  return padded(std::string(mark) + " [" + kLatest + name + "] on " + std::string(date) + ". At " +
                    std::string(time) + ". NRQr=" + right(nrq, 5),
                119);
}

std::string path40(const std::string& name) { return padded(kLatest + name, 40); }

std::string in_runin(const std::string& name) {
  return "In RUNIN, INFILE = [" + path40(name) + "]";
}
std::string about_to_move(const std::string& name) {
  return "About to move file named [" + path40(name) + "]";
}

const std::string kPutty = "\"c:\\Program Files\\putty\\";
const std::string kNextB = "../rirezeda/NextB_G" + blanks(7);
const std::string kPlink =
    kPutty + "plink\" -ssh -pw malkory" + blanks(18) + "kofra@" + std::string(ARCHIVE_HOST);

std::string mirror_command() {
  return padded("pscp -p -l tamrik -pw 7Qa518 c:\\httpd\\*.* " + std::string(WEB_HOST) +
                    ":/usr/httpd/htdocs/zuraziz/Corvatine/Zavidovi/",
                180);
}
std::string upload_command(const std::string& name) {
  return padded(kPutty + "pscp\" -p -l kofra -pw malkory " + path40(name) + " " +
                    std::string(ARCHIVE_HOST) + ":" + kNextB + " >temp.txt",
                180);
}
std::string chmod_command() { return padded(kPlink + " chmod g+w " + kNextB, 180); }
std::string mv_command(const std::string& name) {
  return padded(kPlink + " mv " + kNextB + " " + padded("../rirezeda/" + name, 36), 180);
}
std::string move_tail(const std::string& name) {
  return "/c move /Y " + path40(name) + " " + padded("c:\\vesk\\data\\stored\\", 30);
}

// One run of the feeder over scripted host services and a clock that reads
// 18 April 2012, 10:03:07; the console and the end of the process recorded.
struct Scenario {
  Scenario() {
    clock.add_date(2012, 4, 18);
    clock.add_time(10, 3, 7);
  }

  // Runs the feeder's main to the end of the process; gives the exit status.
  int run() {
    try {
      feeder.main();
    } catch (const ProcessEnded& ended) {
      return ended.status;
    }
    return -99;  // main came back: never allowed
  }

  std::string out() const { return platform.stdout_bytes(); }

  // The journal without its find_file_info lines, which every cycle has.
  std::vector<std::string> work() const {
    std::vector<std::string> calls;
    for (const std::string& call : host.journal()) {
      if (call.rfind("find_file_info ", 0) != 0) calls.push_back(call);
    }
    return calls;
  }

  RecordingPlatform platform;
  ScriptedHost host;
  FixedClock clock;
  Feeder feeder{host, clock};
};

class FeederTest : public ::testing::Test, protected Scenario {};

// Two files: the first delivered and moved, the rename of the second fails
// to start. The console stream, the commands and the pauses, exactly.
TEST_F(FeederTest, WorkedExample) {
  host.add_entry("LR0001.B_G");
  host.add_entry("LR0002.B_G");
  clock.add_time(10, 3, 31);
  // Mirror and three steps for the first file, mirror, upload and group write
  // for the second; then its rename does not start.
  for (int i = 0; i < 7; ++i) host.add_command_result({});
  host.add_command_result({.started = false});

  EXPECT_EQ(run(), 0);

  EXPECT_EQ(out(),
            console({
                "hndl=         -1",
                "hndl=         -1 file$last=         -2leng=           0",
                "ffiles=c:\\vesk\\data\\latest\\LR*.B_G               ",
                "hndl=        884 file$last=         -2leng=          10",
                " file found:  LR0001.B_G",
                "In RUNIN, INFILE = [c:\\vesk\\data\\latest\\LR0001.B_G          ]",
                "About to move file named [c:\\vesk\\data\\latest\\LR0001.B_G          ]",
                "   Did [c:\\vesk\\data\\latest\\LR0001.B_G] on 18- 4-12. At 10: 3: 7. NRQr=    0" +
                    blanks(43),
                "ffiles=c:\\vesk\\data\\latest\\LR*.B_G               ",
                "hndl=        884 file$last=         -2leng=          10",
                " file found:  LR0002.B_G",
                "In RUNIN, INFILE = [c:\\vesk\\data\\latest\\LR0002.B_G          ]",
                "Error number starting up mv :   0.000000E+00",
                "FailCM [c:\\vesk\\data\\latest\\LR0002.B_G] on 18- 4-12. At 10: 3:31. NRQr=    0" +
                    blanks(43),
                "ffiles=c:\\vesk\\data\\latest\\LR*.B_G               ",
                "hndl=         -2 file$last=         -2leng=           0",
            }));

  const std::string pattern = "find_file_info c:\\vesk\\data\\latest\\LR*.B_G" + blanks(15);
  const std::string mirror =
      "run_command pscp -p -l tamrik -pw 7Qa518 c:\\httpd\\*.* " + std::string(WEB_HOST) +
      ":/usr/httpd/htdocs/zuraziz/Corvatine/Zavidovi/" + blanks(180 - 88 - WEB_HOST.size());
  const std::string host_tail = std::string(ARCHIVE_HOST);
  auto upload = [&](const char* name) {
    return "run_command \"c:\\Program Files\\putty\\pscp\" -p -l kofra -pw malkory "
           "c:\\vesk\\data\\latest\\" +
           std::string(name) + "           " + host_tail + ":../rirezeda/NextB_G        >temp.txt" +
           blanks(180 - 132 - ARCHIVE_HOST.size());
  };
  const std::string chmod =
      "run_command \"c:\\Program Files\\putty\\plink\" -ssh -pw malkory" + blanks(18) + "kofra@" +
      host_tail + " chmod g+w ../rirezeda/NextB_G       " + blanks(180 - 108 - ARCHIVE_HOST.size());
  auto mv = [&](const char* name) {
    return "run_command \"c:\\Program Files\\putty\\plink\" -ssh -pw malkory" + blanks(18) +
           "kofra@" + host_tail + " mv ../rirezeda/NextB_G        ../rirezeda/" +
           std::string(name) + "              " + blanks(180 - 138 - ARCHIVE_HOST.size());
  };
  EXPECT_EQ(host.journal(),
            (std::vector<std::string>{
                "take_run_lock",
                pattern,
                mirror,
                "inquire_file c:\\vesk\\data\\latest\\LR0001.B_G          ",
                "file_being_written c:\\vesk\\data\\latest\\LR0001.B_G          ",
                "remove_file temp.txt",
                upload("LR0001.B_G"),
                "inquire_file temp.txt",
                chmod,
                mv("LR0001.B_G"),
                std::string("run_program cmd.exe|/c move /Y c:\\vesk\\data\\latest\\LR0001.B_G") +
                    blanks(11) + "c:\\vesk\\data\\stored\\" + blanks(10),
                "pause_seconds 10",
                pattern,
                mirror,
                "inquire_file c:\\vesk\\data\\latest\\LR0002.B_G          ",
                "file_being_written c:\\vesk\\data\\latest\\LR0002.B_G          ",
                "remove_file temp.txt",
                upload("LR0002.B_G"),
                "inquire_file temp.txt",
                chmod,
                mv("LR0002.B_G"),
                "last_error_number",
                "pause_seconds 10",
                pattern,
                mirror,
            }));
  for (const std::string& call : host.journal()) {
    if (call.rfind("run_command ", 0) == 0) {
      EXPECT_EQ(call.size(), 12U + 180U) << call;
    }
  }
}

// The search ends (or fails) at once: one mirror, the stop, no pause.
TEST(FeederRunTest, NoEntries) {
  struct Case {
    EnumHandle end;
    const char* hndl;
  };
  for (const Case& c :
       {Case{FILE_LAST, "hndl=         -2 file$last=         -2leng=           0"},
        Case{FILE_ERROR, "hndl=         -3 file$last=         -2leng=           0"}}) {
    Scenario empty;
    empty.host.end_search_with(c.end);
    EXPECT_EQ(empty.run(), 0);
    EXPECT_EQ(empty.out(), console({kStart1, kStart2, kFfiles, c.hndl}));
    EXPECT_EQ(empty.host.journal(),
              (std::vector<std::string>{"take_run_lock", "find_file_info " + kFfiles.substr(7),
                                        "run_command " + mirror_command()}));
  }
}

// A name of exactly 20 characters fills INFILE: no blank before the bracket,
// one blank between the path and the stored directory in the move tail.
TEST_F(FeederTest, TwentyCharacterNameFillsTheLocalPath) {
  const std::string name = "LR20120418_1003-7.BG";  // "_" and "-" are plain
  ASSERT_EQ(name.size(), 20U);
  host.add_entry(name);

  EXPECT_EQ(run(), 0);
  EXPECT_EQ(out(),
            console({kStart1, kStart2, kFfiles, hndl(20), " file found:  " + name,
                     "In RUNIN, INFILE = [c:\\vesk\\data\\latest\\" + name + "]",
                     "About to move file named [c:\\vesk\\data\\latest\\" + name + "]",
                     record_line("   Did", name, "18- 4-12", "10: 3: 7", 0), kFfiles, kLastHndl}));
  EXPECT_EQ(work(), (std::vector<std::string>{
                        "take_run_lock",
                        "run_command " + mirror_command(),
                        "inquire_file c:\\vesk\\data\\latest\\" + name,
                        "file_being_written c:\\vesk\\data\\latest\\" + name,
                        "remove_file temp.txt",
                        "run_command " + upload_command(name),
                        "inquire_file temp.txt",
                        "run_command " + chmod_command(),
                        "run_command " + mv_command(name),
                        "run_program cmd.exe|/c move /Y c:\\vesk\\data\\latest\\" + name +
                            " c:\\vesk\\data\\stored\\" + blanks(10),
                        "pause_seconds 10",
                        "run_command " + mirror_command(),
                    }));
}

// An entry that is gone or is the program's own standard input or output is
// not delivered: no command, twenty seconds of pause, the file stays.
TEST(FeederRunTest, EntryNotReady) {
  struct Case {
    Logical exists;
    Logical connected;
  };
  for (const Case& c : {Case{kFalse, kFalse}, Case{kTrue, kTrue}}) {
    Scenario one;
    one.host.add_entry("LR0001.B_G");
    one.host.set_inquiry(kLatest + "LR0001.B_G", c.exists, c.connected);
    EXPECT_EQ(one.run(), 0);
    EXPECT_EQ(one.out(), console({kStart1, kStart2, kFfiles, hndl(10), " file found:  LR0001.B_G",
                                  kFfiles, kLastHndl}));
    EXPECT_EQ(one.work(),
              (std::vector<std::string>{"take_run_lock", "run_command " + mirror_command(),
                                        "inquire_file " + path40("LR0001.B_G"), "pause_seconds 10",
                                        "pause_seconds 10", "run_command " + mirror_command()}));
  }
}

// A file that another program still writes is left for a later run: asked,
// never commanded, twenty seconds of pause; the next file goes through, and
// once the writer is done the file is delivered.
TEST(FeederRunTest, FileStillBeingWrittenIsLeftInPlace) {
  Scenario two;
  two.host.add_entry("LR0001.B_G");
  two.host.add_entry("LR0002.B_G");
  two.host.set_being_written(kLatest + "LR0001.B_G");
  EXPECT_EQ(two.run(), 0);
  EXPECT_EQ(two.out(), console({kStart1, kStart2, kFfiles, hndl(10), " file found:  LR0001.B_G",
                                " file left in place: still being written", kFfiles, hndl(10),
                                " file found:  LR0002.B_G", in_runin("LR0002.B_G"),
                                about_to_move("LR0002.B_G"),
                                record_line("   Did", "LR0002.B_G", "18- 4-12", "10: 3: 7", 0),
                                kFfiles, kLastHndl}));
  const std::vector<std::string> calls = two.work();
  ASSERT_GE(calls.size(), 6U);
  EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 6),
            (std::vector<std::string>{"take_run_lock", "run_command " + mirror_command(),
                                      "inquire_file " + path40("LR0001.B_G"),
                                      "file_being_written " + path40("LR0001.B_G"),
                                      "pause_seconds 10", "pause_seconds 10"}));
  for (const std::string& call : calls) {
    EXPECT_EQ(call.find("LR0001") != std::string::npos && call.rfind("run_", 0) == 0, false)
        << call;
  }

  Scenario later;
  later.host.add_entry("LR0001.B_G");
  EXPECT_EQ(later.run(), 0);
  EXPECT_NE(later.out().find(record_line("   Did", "LR0001.B_G", "18- 4-12", "10: 3: 7", 0)),
            std::string::npos);
}

// A run that finds another under way says so before its first record, waits
// for it, and then runs as any other.
TEST(FeederRunTest, SecondRunWaitsForTheFirst) {
  Scenario second;
  second.host.set_run_lock_taken(true);
  second.host.add_entry("LR0001.B_G");
  EXPECT_EQ(second.run(), 0);
  EXPECT_EQ(second.out(), console({" another run is under way: waiting for it to end", kStart1,
                                   kStart2, kFfiles, hndl(10), " file found:  LR0001.B_G",
                                   in_runin("LR0001.B_G"), about_to_move("LR0001.B_G"),
                                   record_line("   Did", "LR0001.B_G", "18- 4-12", "10: 3: 7", 0),
                                   kFfiles, kLastHndl}));
  const std::vector<std::string> calls = second.work();
  ASSERT_GE(calls.size(), 3U);
  EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 3),
            (std::vector<std::string>{"take_run_lock", "wait_run_lock",
                                      "run_command " + mirror_command()}));
}

// A name that the command lines cannot carry is left in place, unasked and
// uncommanded, with twenty seconds of pause; the next file goes through.
TEST(FeederRunTest, NameTheCommandsCannotCarryIsLeftInPlace) {
  const std::string kLong = " file left in place: name longer than 20 characters";
  const std::string kUnsafe = " file left in place: name unsafe in a command line";
  struct Case {
    std::string name;
    const std::string& record;
  };
  const std::vector<Case> cases = {
      {"LR0001 x.B_G", kUnsafe},
      {"LR&del.B_G", kUnsafe},
      {"LR|a.B_G", kUnsafe},
      {"LR>a.B_G", kUnsafe},
      {"LR<a.B_G", kUnsafe},
      {"LR;a.B_G", kUnsafe},
      {"LR$a.B_G", kUnsafe},
      {"LR\"a.B_G", kUnsafe},
      {"LR'a.B_G", kUnsafe},
      {"LR`a.B_G", kUnsafe},
      {"LR%PATH%.B_G", kUnsafe},
      {"LR^a.B_G", kUnsafe},
      {"LR(a).B_G", kUnsafe},
      {"LR\ta.B_G", kUnsafe},
      {"LR\\..\\a.B_G", kUnsafe},
      {"LR01.B_G ", kUnsafe},  // a trailing blank: trimmed, it would name another file
      {"LR3.B_G.", kUnsafe},   // Windows drops trailing dots: it would be LR3.B_G
      {"LR3.B_G..", kUnsafe},
      {"LR20120418_10031.B_G" + std::string("1"), kLong},  // 21: would be cut in INFILE
      {"LR 0120418_10031.B_Gx", kLong},                    // the length decides first
      {"LR" + std::string(34, '0') + ".B_G", kLong},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Scenario two;
    two.host.add_entry(c.name);
    two.host.add_entry("LR0002.B_G");
    EXPECT_EQ(two.run(), 0);

    const std::string out = two.out();
    std::string shown = " file found:  ";
    shown += trimmed(c.name);
    shown += "\r\n" + c.record + "\r\n" + kFfiles;
    EXPECT_NE(out.find(shown), std::string::npos) << out;
    EXPECT_NE(out.find(record_line("   Did", "LR0002.B_G", "18- 4-12", "10: 3: 7", 0)),
              std::string::npos);

    const std::vector<std::string> calls = two.work();
    ASSERT_GE(calls.size(), 5U);
    EXPECT_EQ(std::vector<std::string>(calls.begin(), calls.begin() + 5),
              (std::vector<std::string>{"take_run_lock", "run_command " + mirror_command(),
                                        "pause_seconds 10", "pause_seconds 10",
                                        "run_command " + mirror_command()}));
  }
}

// Each delivery step: interpreter not started, or tool failed. Only a
// successful upload lets the rename run, only a successful rename the move.
TEST(FeederRunTest, DeliveryStepFailures) {
  using R = ScriptedHost::CommandResult;
  const R ok{};
  const R not_started{.started = false};
  struct Case {
    const char* what;
    std::vector<R> steps;               // upload, chmod, mv as far as they run
    std::vector<std::string> lines;     // between the upload notice and the record line
    std::vector<const char*> commands;  // what ran, after the mirror
    bool moved;
    Logical removable = kTrue;     // temp.txt before the upload
    Logical temp_written = kTrue;  // temp.txt after it
  };
  const std::string path = kLatest + "LR0001.B_G";
  const std::vector<Case> cases = {
      {"upload not started",
       {not_started},
       {"Error number starting up pscp :         2"},
       {"pscp"},
       false},
      {"upload failed",
       {R{.exit_status = 1}},
       {"Exit status of pscp :         1"},
       {"pscp"},
       false},
      {"upload ended with -1",
       {R{.exit_status = -1}},
       {"Error number starting up pscp :         2"},
       {"pscp"},
       false},
      {"group write not started",
       {ok, not_started, ok},
       {"Error number chmod g+w :       2.000000"},
       {"pscp", "chmod", "mv"},
       true},
      {"group write failed",
       {ok, R{.exit_status = 255}, ok},
       {"Exit status of chmod g+w :       255"},
       {"pscp", "chmod", "mv"},
       true},
      {"rename not started",
       {ok, ok, not_started},
       {"Error number starting up mv :       2.000000"},
       {"pscp", "chmod", "mv"},
       false},
      {"rename failed",
       {ok, ok, R{.exit_status = 1}},
       {"Exit status of mv :         1"},
       {"pscp", "chmod", "mv"},
       false},
      {"group write and rename failed",
       {ok, R{.exit_status = 1}, R{.exit_status = 2}},
       {"Exit status of chmod g+w :         1", "Exit status of mv :         2"},
       {"pscp", "chmod", "mv"},
       false},
      // The redirection failed (temp.txt held by another program), so the
      // interpreter's 0 says nothing of pscp.
      {"temp.txt cannot be removed",
       {},
       {"Upload not run: temp.txt cannot be removed"},
       {},
       false,
       kFalse},
      {"upload wrote no temp.txt",
       {ok},
       {"Upload not counted: no temp.txt was written"},
       {"pscp"},
       false,
       kTrue,
       kFalse},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Scenario one;
    one.host.add_entry("LR0001.B_G");
    one.host.set_last_error_number(2);
    one.host.add_command_result(ok);  // the mirror
    for (const R& step : c.steps) one.host.add_command_result(step);
    one.host.add_remove_result(c.removable);
    one.host.set_inquiry("temp.txt", c.temp_written, kFalse);
    EXPECT_EQ(one.run(), 0);

    std::vector<std::string> lines = {
        kStart1, kStart2, kFfiles, hndl(10), " file found:  LR0001.B_G", in_runin("LR0001.B_G")};
    lines.insert(lines.end(), c.lines.begin(), c.lines.end());
    if (c.moved) lines.push_back(about_to_move("LR0001.B_G"));
    lines.push_back(
        record_line(c.moved ? "   Did" : "FailCM", "LR0001.B_G", "18- 4-12", "10: 3: 7", 0));
    lines.insert(lines.end(), {kFfiles, kLastHndl});
    EXPECT_EQ(one.out(), console(lines));

    std::vector<std::string> ran;
    bool move_started = false;
    bool temp_removed = false;
    for (const std::string& call : one.host.journal()) {
      if (call == "remove_file temp.txt") temp_removed = true;
      if (call == "run_command " + upload_command("LR0001.B_G")) {
        EXPECT_TRUE(temp_removed) << "temp.txt of an earlier upload was left";
        ran.push_back("pscp");
      }
      if (call == "run_command " + chmod_command()) ran.push_back("chmod");
      if (call == "run_command " + mv_command("LR0001.B_G")) ran.push_back("mv");
      if (call == "run_program cmd.exe|" + move_tail("LR0001.B_G")) move_started = true;
    }
    EXPECT_EQ(ran, std::vector<std::string>(c.commands.begin(), c.commands.end()));
    EXPECT_EQ(move_started, c.moved);
  }
}

// The mirror's failure to start is shown; its tool's failure is not. Neither
// touches the delivery.
TEST(FeederRunTest, MirrorFailures) {
  using R = ScriptedHost::CommandResult;
  struct Case {
    R mirror;
    std::vector<std::string> shown;
  };
  for (const Case& c : {Case{R{.started = false}, {"Error number transferring analys :         2"}},
                        Case{R{.exit_status = 1}, {}}}) {
    Scenario one;
    one.host.add_entry("LR0001.B_G");
    one.host.set_last_error_number(2);
    one.host.add_command_result(c.mirror);
    EXPECT_EQ(one.run(), 0);

    std::vector<std::string> lines = {kStart1, kStart2, kFfiles, hndl(10)};
    lines.insert(lines.end(), c.shown.begin(), c.shown.end());
    lines.insert(
        lines.end(),
        {" file found:  LR0001.B_G", in_runin("LR0001.B_G"), about_to_move("LR0001.B_G"),
         record_line("   Did", "LR0001.B_G", "18- 4-12", "10: 3: 7", 0), kFfiles, kLastHndl});
    EXPECT_EQ(one.out(), console(lines));
  }
}

// NRQr= shows the status of the previous move of the run: 0 at first, kept
// across a delivery that moved nothing, -1 when cmd.exe did not start.
TEST_F(FeederTest, MoveStatusCarriesToTheNextRecordLine) {
  using R = ScriptedHost::CommandResult;
  for (const char* name : {"LR0001.B_G", "LR0002.B_G", "LR0003.B_G", "LR0004.B_G"}) {
    host.add_entry(name);
  }
  // Per cycle the mirror, then upload, group write and rename; the second
  // file's rename fails.
  for (int file = 1; file <= 4; ++file) {
    for (int step = 0; step < 4; ++step) {
      host.add_command_result(file == 2 && step == 3 ? R{.exit_status = 1} : R{});
    }
  }
  host.add_program_result(1);   // move of the first file failed
  host.add_program_result(-1);  // cmd.exe did not start for the third
  host.add_program_result(0);

  EXPECT_EQ(run(), 0);
  const std::string out = this->out();
  struct Expected {
    const char* mark;
    const char* name;
    std::int32_t nrq;
  };
  for (const Expected& e :
       {Expected{"   Did", "LR0001.B_G", 0}, Expected{"FailCM", "LR0002.B_G", 1},
        Expected{"   Did", "LR0003.B_G", 1}, Expected{"   Did", "LR0004.B_G", -1}}) {
    EXPECT_NE(
        out.find("\r\n" + record_line(e.mark, e.name, "18- 4-12", "10: 3: 7", e.nrq) + "\r\n"),
        std::string::npos)
        << e.name << "\n"
        << out;
  }
}

// The date and time stamp in the record line: two columns each, a blank and
// never a zero before a single digit.
TEST_F(FeederTest, RecordLineStampHasBlanksNotZeros) {
  FixedClock early;
  early.add_date(2012, 4, 5);
  early.add_time(9, 5, 3);
  Feeder feeder_early(host, early);
  host.add_entry("LR0001.B_G");
  EXPECT_THROW(feeder_early.main(), ProcessEnded);
  EXPECT_NE(out().find("   Did [c:\\vesk\\data\\latest\\LR0001.B_G] on  5- 4-12. At  9: 5: 3. "
                       "NRQr=    0" +
                       blanks(43) + "\r\n"),
            std::string::npos)
      << out();
}

// Standard output full while RUNIN writes its notice: F6422, the notice not
// shown, and a traceback of RUNIN's line and then main's line of the call.
TEST_F(FeederTest, FaultInsideRuninShowsBothFrames) {
  host.add_entry("LR0001.B_G");
  host.on_call([this](std::string_view service) {
    if (service == "inquire_file") platform.fail_stdout(WriteResult::kNoSpace);
  });

  EXPECT_EQ(run(), 1);
  EXPECT_EQ(out().find("In RUNIN"), std::string::npos);
  EXPECT_EQ(work(), (std::vector<std::string>{"take_run_lock", "run_command " + mirror_command(),
                                              "inquire_file " + path40("LR0001.B_G"),
                                              "file_being_written " + path40("LR0001.B_G")}));

  const std::string err = platform.stderr_bytes();
  const std::string head = "\r\nQuorvane(";
  ASSERT_EQ(err.rfind(head, 0), 0U) << err;
  const int runin_line = std::stoi(err.substr(head.size()));
  const std::size_t traceback = err.find("\r\n\r\nExecution traceback:\r\n");
  ASSERT_NE(traceback, std::string::npos) << err;
  const std::string first =
      head + std::to_string(runin_line) + ") : run-time error F6422: WRITE(CON)\r\n- ";
  EXPECT_EQ(err.rfind(first, 0), 0U) << err;

  const std::string from_main = "\t\tfrom main program in Quorvane(";
  const std::size_t main_at = err.find(from_main);
  ASSERT_NE(main_at, std::string::npos) << err;
  const int main_line = std::stoi(err.substr(main_at + from_main.size()));
  EXPECT_EQ(err.substr(traceback), "\r\n\r\nExecution traceback:\r\n\t\tfrom RUNIN in Quorvane(" +
                                       std::to_string(runin_line) + ")\r\n" + from_main +
                                       std::to_string(main_line) + ")\r\n");

  // The lines name the statements: the notice in RUNIN, the call in main.
  std::ifstream source(QUORVANE_FEED_SOURCE);
  std::vector<std::string> text(1);
  for (std::string line; std::getline(source, line);) text.push_back(line);
  ASSERT_LT(main_line, static_cast<int>(text.size()));
  ASSERT_LT(runin_line, static_cast<int>(text.size()));
  EXPECT_NE(text[runin_line].find("In RUNIN, INFILE = ["), std::string::npos) << text[runin_line];
  EXPECT_NE(text[main_line].find("RUNIN(v.INFILE, v.OUTFILE)"), std::string::npos)
      << text[main_line];
}

}  // namespace
}  // namespace quorvane
