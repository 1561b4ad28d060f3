// The process boundary on POSIX: write(2), _exit and SIGFPE for the traps.
#include <fenv.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "runtime/process/ending.h"
#include "runtime/process/fault.h"
#include "runtime/process/platform.h"

namespace quorvane {

namespace {

constexpr int kTrapped = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;

WriteResult write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == ENOSPC || errno == EDQUOT) return WriteResult::kNoSpace;
      if (errno == EACCES || errno == EPERM) return WriteResult::kAccessDenied;
      return WriteResult::kOtherFailure;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return WriteResult::kOk;
}

// Masks the traps in the interrupted context and clears its flags, so that
// the instruction runs again with the default result.
void continue_untrapped(void* context) {
#if defined(__x86_64__)
  auto* uc = static_cast<ucontext_t*>(context);
  if (uc->uc_mcontext.fpregs != nullptr) {
    uc->uc_mcontext.fpregs->mxcsr |= 0x1F80U;  // all masked
    uc->uc_mcontext.fpregs->mxcsr &= ~0x3FU;   // no flag pending
    uc->uc_mcontext.fpregs->cwd |= 0x3FU;
    uc->uc_mcontext.fpregs->swd &= static_cast<unsigned short>(~0x80FFU);
  }
#else
  (void)context;
  fedisableexcept(FE_ALL_EXCEPT);
#endif
}

void on_sigfpe(int, siginfo_t* info, void* context) {
  FaultCode code;
  switch (info->si_code) {
    case FPE_FLTINV:
      code = FaultCode::kFloatInvalid;
      break;
    case FPE_FLTDIV:
      code = FaultCode::kFloatDivideByZero;
      break;
    case FPE_FLTOVF:
      code = FaultCode::kFloatOverflow;
      break;
    default:
      // Integer division and the like: the platform's default ending, on
      // return from here.
      signal(SIGFPE, SIG_DFL);
      raise(SIGFPE);
      return;
  }
  fedisableexcept(FE_ALL_EXCEPT);
  raise_fault(code, FaultClass::kMath);
  // Back here only while the exit step runs: go on with the default result.
  continue_untrapped(context);
}

class PosixPlatform final : public ProcessPlatform {
 public:
  WriteResult write_stdout(std::string_view bytes) override {
    return write_all(STDOUT_FILENO, bytes);
  }
  void write_stderr(std::string_view bytes) override { (void)write_all(STDERR_FILENO, bytes); }
  void flush_streams() override { std::fflush(nullptr); }
  [[noreturn]] void exit_process(int status) override { _exit(status); }
  void enable_float_traps() override {
    struct sigaction action = {};
    action.sa_sigaction = on_sigfpe;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    sigaction(SIGFPE, &action, nullptr);
    feclearexcept(FE_ALL_EXCEPT);
    fedisableexcept(FE_ALL_EXCEPT);
    feenableexcept(kTrapped);
  }
};

}  // namespace

ProcessPlatform& host_platform() {
  static PosixPlatform instance;
  return instance;
}

}  // namespace quorvane
