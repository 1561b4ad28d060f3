// Runs process_probe.exe as a real Windows process, its standard output and
// error captured as bytes, and checks every byte and the exit status.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "runtime/process/fault.h"

namespace quorvane {
namespace {

enum class Output { kFile, kDeviceFull, kClosed };

struct ProbeRun {
  std::string out;
  std::string err;
  DWORD status = 0xDEADBEEF;
};

std::string probe_path() {
  char path[MAX_PATH] = {};
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string dir(path, n);
  return dir.substr(0, dir.find_last_of('\\') + 1) + "process_probe.exe";
}

HANDLE temp_file(const char* tag) {
  char dir[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, dir);
  char name[MAX_PATH] = {};
  GetTempFileNameA(dir, tag, 0, name);
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  return CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     &inherit, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

std::string read_back(HANDLE file) {
  std::string bytes;
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  char buffer[4096];
  DWORD n = 0;
  while (ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0) bytes.append(buffer, n);
  return bytes;
}

ProbeRun run_probe(const std::string& scenario, Output output = Output::kFile) {
  ProbeRun run;
  HANDLE out = INVALID_HANDLE_VALUE;
  HANDLE err = temp_file("err");
  if (output == Output::kFile) out = temp_file("out");
  if (output == Output::kDeviceFull) {
    // Wine maps the Unix root to Z:, and a write to /dev/full fails for want
    // of space, as on a full disk.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    out = CreateFileA("Z:\\dev\\full", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                      OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(out, INVALID_HANDLE_VALUE) << "cannot open Z:\\dev\\full";
  }
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  // A closed standard output: a handle value that names nothing in the child.
  startup.hStdOutput = output == Output::kClosed ? reinterpret_cast<HANDLE>(0x7FF0) : out;
  startup.hStdError = err;
  std::string command = "\"";
  command.append(probe_path()).append("\" ").append(scenario);
  PROCESS_INFORMATION process = {};
  if (CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                     &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &run.status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  } else {
    ADD_FAILURE() << "cannot start " << command << ": " << GetLastError();
  }
  if (output == Output::kFile) run.out = read_back(out);
  run.err = read_back(err);
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  CloseHandle(err);
  return run;
}

std::string message(FaultCode code) {
  return std::string(fault_report_for(code, FaultClass::kIo, "").message);
}

// What RUNIN's two records show, the first of the run and a later one.
const std::string kRecords = "hndl=         -1\r\nExit status of pscp :         3";
const std::string kStopAfterRecords = "\r\n**Quorvane NORMAL TERMINATION***\r\n\r\n";

std::string traceback(const std::string& lines) { return "\r\nExecution traceback:\r\n" + lines; }
const std::string kRunin23 =
    "\t\tfrom RUNIN in Quorvane(23)\r\n\t\tfrom main program in Quorvane(11)\r\n";

TEST(ProcessBoundary, Stops) {
  const struct {
    const char* scenario;
    std::string out;
  } cases[] = {
      {"stop-before", "**Quorvane NORMAL TERMINATION***\r\n"},
      {"records", kRecords + kStopAfterRecords},
      {"plain-stop", kRecords + "\r\nStop - Program terminated.\r\n\r\n"},
      {"untrapped", kRecords + kStopAfterRecords},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scenario);
    const ProbeRun run = run_probe(c.scenario);
    EXPECT_EQ(run.status, 0u);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, "");
  }
}

// Reports with a two-line traceback; the exit step still ends the open line.
TEST(ProcessBoundary, FaultsEndWithStatusOne) {
  const struct {
    const char* scenario;
    std::string err;
  } cases[] = {
      {"fault", "\r\nQuorvane(22) : run-time error F6099: $DEBUG\r\n- " +
                    message(FaultCode::kIntegerOverflow) + "\r\n" +
                    traceback("\t\tfrom RUNIN in Quorvane(22)\r\n"
                              "\t\tfrom main program in Quorvane(11)\r\n")},
      {"divide",
       "\r\nQuorvane(23) : run-time error M6103: MATH\r\n- floating-point error: divide by "
       "zero\r\n" +
           traceback(kRunin23)},
      {"multiple",
       "\r\nQuorvane(23) : run-time error M6103: MATH\r\n- floating-point error: divide by "
       "zero\r\n" +
           traceback(kRunin23)},
      {"line-trap",
       "\r\nQuorvane(24) : run-time error M6103: MATH\r\n- floating-point error: divide by "
       "zero\r\n" +
           traceback("\t\tfrom RUNIN in Quorvane(24)\r\n"
                     "\t\tfrom main program in Quorvane(11)\r\n")},
      {"x87-divide",
       "\r\nQuorvane(23) : run-time error M6103: MATH\r\n- floating-point error: divide by "
       "zero\r\n" +
           traceback(kRunin23)},
      {"invalid",
       "\r\nQuorvane(23) : run-time error M6101: MATH\r\n- floating-point error: invalid\r\n" +
           traceback(kRunin23)},
      {"overflow",
       "\r\nQuorvane(23) : run-time error M6104: MATH\r\n- floating-point error: overflow\r\n" +
           traceback(kRunin23)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scenario);
    const ProbeRun run = run_probe(c.scenario);
    EXPECT_EQ(run.status, 1u);
    EXPECT_EQ(run.out, kRecords + "\r\n");
    EXPECT_EQ(run.err, c.err);
  }
}

// The first record cannot be written: F6422 in RUNIN, nothing on the device.
TEST(ProcessBoundary, FullOutputDeviceFaults) {
  const ProbeRun run = run_probe("records", Output::kDeviceFull);
  EXPECT_EQ(run.status, 1u);
  EXPECT_EQ(run.err, "\r\nQuorvane(20) : run-time error F6422: WRITE(CON)\r\n- " +
                         message(FaultCode::kNoSpace) + "\r\n" +
                         traceback("\t\tfrom RUNIN in Quorvane(20)\r\n"
                                   "\t\tfrom main program in Quorvane(11)\r\n"));
}

TEST(ProcessBoundary, ClosedOutputIgnored) {
  const ProbeRun run = run_probe("records", Output::kClosed);
  EXPECT_EQ(run.status, 0u);
  EXPECT_EQ(run.err, "");
}

// Any other processor fault ends the process by the platform's default: no
// report, no exit step.
TEST(ProcessBoundary, IntegerDivisionIsNotReported) {
  const ProbeRun run = run_probe("int-divide");
  EXPECT_EQ(run.status, 0xC0000094u);  // STATUS_INTEGER_DIVIDE_BY_ZERO
  // Wine's debugger describes the crash on the inherited handles; the run-time
  // adds nothing, not even the exit step's line end.
  EXPECT_TRUE(run.out.starts_with(kRecords)) << run.out;
  EXPECT_FALSE(run.out.starts_with(kRecords + "\r\n")) << run.out;
  EXPECT_EQ(run.err.find("run-time error"), std::string::npos) << run.err;
}

// Reported in full while the exit step runs; the stop keeps its status 0.
TEST(ProcessBoundary, FaultDuringExitStep) {
  const std::string closer_traceback =
      traceback("\t\tfrom CLOSER in Quorvane(40)\r\n\t\tfrom main program in Quorvane(13)\r\n");
  const struct {
    const char* scenario;
    std::string err;
  } cases[] = {
      {"exit-fault", "\r\nQuorvane(40) : run-time error F6099: $DEBUG\r\n- " +
                         message(FaultCode::kIntegerOverflow) + "\r\n" + closer_traceback},
      {"exit-trap",
       "\r\nQuorvane(40) : run-time error M6103: MATH\r\n- floating-point error: divide by "
       "zero\r\n" +
           closer_traceback + "<inf>"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.scenario);
    const ProbeRun run = run_probe(c.scenario);
    EXPECT_EQ(run.status, 0u);
    EXPECT_EQ(run.out, kRecords + kStopAfterRecords);
    EXPECT_EQ(run.err, c.err);
  }
}

}  // namespace
}  // namespace quorvane
