// The process boundary on Windows: WriteFile on the standard handles,
// ExitProcess, and the floating-point traps of the x87 and SSE units.
#include <windows.h>

#include <float.h>

#include <cstdio>

#include "runtime/process/fault.h"
#include "runtime/process/platform.h"

namespace quorvane {

namespace {

// Not in every SDK's headers.
constexpr DWORD kFloatMultipleFaults = 0xC00002B4;
constexpr DWORD kFloatMultipleTraps = 0xC00002B5;

// Exception bits, alike in the x87 status and control words and in MXCSR.
constexpr unsigned kInvalidBit = 0x01;
constexpr unsigned kZeroDivideBit = 0x04;
constexpr unsigned kOverflowBit = 0x08;
constexpr unsigned kTrappedBits = kInvalidBit | kZeroDivideBit | kOverflowBit;
constexpr unsigned kMxcsrMaskShift = 7;
constexpr unsigned kMxcsrAllMasked = 0x1F80;
constexpr unsigned kMxcsrFlags = 0x3F;
constexpr WORD kX87AllMasked = 0x3F;
constexpr unsigned kX87PendingBits = 0x80FF;  // busy, summary and the flags

// The C run-time's control functions set the SSE unit; the x87 unit, which
// GCC uses for long double, gets its control word here as well.
void set_x87_masks(WORD masks) {
#if defined(__GNUC__)
  WORD control = 0;
  __asm__ __volatile__("fnclex\n\tfnstcw %0" : "=m"(control));
  control = static_cast<WORD>((control & ~kX87AllMasked) | masks);
  __asm__ __volatile__("fldcw %0" : : "m"(control));
#else
  (void)masks;  // long double is double: the x87 unit is not used
#endif
}

void mask_all_live() {
  unsigned int ignored = 0;
  _clearfp();
  _controlfp_s(&ignored, _MCW_EM, _MCW_EM);
  set_x87_masks(kX87AllMasked);
}

void trap_live() {
  constexpr unsigned kTrapped = _EM_INVALID | _EM_ZERODIVIDE | _EM_OVERFLOW;
  unsigned int ignored = 0;
  _clearfp();
  _controlfp_s(&ignored, _MCW_EM & ~kTrapped, _MCW_EM);
  set_x87_masks(static_cast<WORD>(kX87AllMasked & ~kTrappedBits));
}

WriteResult write_handle(DWORD which, std::string_view bytes) {
  HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return WriteResult::kOtherFailure;
  while (!bytes.empty()) {
    DWORD written = 0;
    const DWORD size = bytes.size() > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(bytes.size());
    if (!WriteFile(handle, bytes.data(), size, &written, nullptr)) {
      switch (GetLastError()) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
          return WriteResult::kNoSpace;
        case ERROR_ACCESS_DENIED:
        case ERROR_LOCK_VIOLATION:
          return WriteResult::kAccessDenied;
        default:
          return WriteResult::kOtherFailure;
      }
    }
    if (written == 0) return WriteResult::kOtherFailure;
    bytes.remove_prefix(written);
  }
  return WriteResult::kOk;
}

// Which trapped exception is pending, by the flags that the units raised
// and did not mask; invalid first, as it makes the other results moot.
bool pending_kind(const CONTEXT& context, FaultCode& code) {
  const unsigned sse = static_cast<unsigned>(context.MxCsr);
  const unsigned sse_pending = sse & ~(sse >> kMxcsrMaskShift) & kTrappedBits;
  const unsigned x87_status = context.FltSave.StatusWord;
  const unsigned x87_pending = x87_status & ~context.FltSave.ControlWord & kTrappedBits;
  const unsigned pending = sse_pending | x87_pending;
  if ((pending & kInvalidBit) != 0) {
    code = FaultCode::kFloatInvalid;
  } else if ((pending & kZeroDivideBit) != 0) {
    code = FaultCode::kFloatDivideByZero;
  } else if ((pending & kOverflowBit) != 0) {
    code = FaultCode::kFloatOverflow;
  } else {
    return false;
  }
  return true;
}

LONG WINAPI on_exception(EXCEPTION_POINTERS* pointers) {
  FaultCode code;
  switch (pointers->ExceptionRecord->ExceptionCode) {
    case EXCEPTION_FLT_INVALID_OPERATION:
      code = FaultCode::kFloatInvalid;
      break;
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
      code = FaultCode::kFloatDivideByZero;
      break;
    case EXCEPTION_FLT_OVERFLOW:
      code = FaultCode::kFloatOverflow;
      break;
    case kFloatMultipleFaults:
    case kFloatMultipleTraps:
      if (!pending_kind(*pointers->ContextRecord, code)) return EXCEPTION_CONTINUE_SEARCH;
      break;
    default:
      return EXCEPTION_CONTINUE_SEARCH;
  }
  // The report itself runs with every exception masked and no flag pending.
  mask_all_live();
  raise_fault(code, FaultClass::kMath);
  // Back here only while the exit step runs: mask the traps in the interrupted
  // context and clear its flags, so the instruction gives its default result.
  CONTEXT& context = *pointers->ContextRecord;
  context.MxCsr = (context.MxCsr | kMxcsrAllMasked) & ~kMxcsrFlags;
  context.FltSave.MxCsr = context.MxCsr;
  context.FltSave.ControlWord |= kX87AllMasked;
  context.FltSave.StatusWord &= static_cast<WORD>(~kX87PendingBits);
  return EXCEPTION_CONTINUE_EXECUTION;
}

class Win32Platform final : public ProcessPlatform {
 public:
  WriteResult write_stdout(std::string_view bytes) override {
    return write_handle(STD_OUTPUT_HANDLE, bytes);
  }
  void write_stderr(std::string_view bytes) override {
    (void)write_handle(STD_ERROR_HANDLE, bytes);
  }
  void flush_streams() override { std::fflush(nullptr); }
  [[noreturn]] void exit_process(int status) override { ExitProcess(static_cast<UINT>(status)); }
  void enable_float_traps() override {
    if (!handler_added_) {
      // First in line, ahead of any frame-based handler of the C run-time.
      AddVectoredExceptionHandler(1, on_exception);
      handler_added_ = true;
    }
    trap_live();
  }
  bool read_command_line_and_environment() override {
    if (GetCommandLineA() == nullptr) return false;
    LPCH environment = GetEnvironmentStringsA();
    if (environment == nullptr) return false;
    FreeEnvironmentStringsA(environment);
    return true;
  }

 private:
  bool handler_added_ = false;
};

}  // namespace

ProcessPlatform& host_platform() {
  static Win32Platform instance;
  return instance;
}

}  // namespace quorvane
