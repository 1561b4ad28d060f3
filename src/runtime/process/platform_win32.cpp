// The process boundary on Windows: WriteFile on the standard handles,
// ExitProcess, and the floating-point traps of the x87 and SSE units.
#include <windows.h>

#include <xmmintrin.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

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

// The trap masks of both units are set here, and their flags cleared: the
// C run-time's control functions differ between its versions (XP's msvcrt
// has no _controlfp_s) and under wine clear flags they should keep. GCC uses
// the x87 unit for long double, and on 32-bit x86 the SSE unit for the rest.
void set_units(unsigned masks) {
  const unsigned sse =
      (_mm_getcsr() & ~(kMxcsrAllMasked | kMxcsrFlags)) | (masks << kMxcsrMaskShift);
  _mm_setcsr(sse);
#if defined(__GNUC__)
  WORD control = 0;
  __asm__ __volatile__("fnclex\n\tfnstcw %0" : "=m"(control));
  control = static_cast<WORD>((control & ~kX87AllMasked) | masks);
  __asm__ __volatile__("fldcw %0" : : "m"(control));
#endif  // elsewhere long double is double: the x87 unit is not used
}

void mask_all_live() { set_units(kX87AllMasked); }

void trap_live() { set_units(kX87AllMasked & ~kTrappedBits); }

// The units' state in an exception context. The 64-bit context always holds
// both; the 32-bit one keeps the x87 state in FloatSave and the SSE unit's
// MXCSR in ExtendedRegisters (the FXSAVE image), each only when its flag
// says so: a processor without FXSR has no extended registers.
struct FloatState {
  unsigned x87_status = 0;
  unsigned x87_control = kX87AllMasked;
  unsigned mxcsr = kMxcsrAllMasked;
};

#if defined(_M_X64) || defined(__x86_64__)

FloatState float_state(const CONTEXT& context) {
  return {context.FltSave.StatusWord, context.FltSave.ControlWord,
          static_cast<unsigned>(context.MxCsr)};
}

void mask_in_context(CONTEXT& context) {
  context.MxCsr = (context.MxCsr | kMxcsrAllMasked) & ~kMxcsrFlags;
  context.FltSave.MxCsr = context.MxCsr;
  context.FltSave.ControlWord |= kX87AllMasked;
  context.FltSave.StatusWord &= static_cast<WORD>(~kX87PendingBits);
}

#elif defined(_M_IX86) || defined(__i386__)

// Offsets in the FXSAVE image.
constexpr std::size_t kFxControl = 0;
constexpr std::size_t kFxStatus = 2;
constexpr std::size_t kFxMxcsr = 24;

bool has(const CONTEXT& context, DWORD part) { return (context.ContextFlags & part) == part; }

template <typename T>
T fx_read(const CONTEXT& context, std::size_t offset) {
  T value;
  std::memcpy(&value, context.ExtendedRegisters + offset, sizeof value);
  return value;
}

template <typename T>
void fx_write(CONTEXT& context, std::size_t offset, T value) {
  std::memcpy(context.ExtendedRegisters + offset, &value, sizeof value);
}

// A context without a unit's state (that of an exception raised in
// software, which captures only the integer registers) leaves the unit as
// it was: its live state is then read instead, with no-wait instructions
// that do not set off a pending x87 exception.
FloatState float_state(const CONTEXT& context) {
  FloatState state;
  if (has(context, CONTEXT_FLOATING_POINT)) {
    state.x87_status = context.FloatSave.StatusWord & 0xFFFF;
    state.x87_control = context.FloatSave.ControlWord & 0xFFFF;
  } else if (has(context, CONTEXT_EXTENDED_REGISTERS)) {
    state.x87_status = fx_read<WORD>(context, kFxStatus);
    state.x87_control = fx_read<WORD>(context, kFxControl);
  } else {
#if defined(__GNUC__)
    WORD status = 0;
    WORD control = 0;
    __asm__ __volatile__("fnstsw %0\n\tfnstcw %1" : "=m"(status), "=m"(control));
    state.x87_status = status;
    state.x87_control = control;
#endif
  }
  state.mxcsr =
      has(context, CONTEXT_EXTENDED_REGISTERS) ? fx_read<DWORD>(context, kFxMxcsr) : _mm_getcsr();
  return state;
}

// Both copies of the x87 state, as either may be the one restored.
void mask_in_context(CONTEXT& context) {
  if (has(context, CONTEXT_FLOATING_POINT)) {
    context.FloatSave.ControlWord |= kX87AllMasked;
    context.FloatSave.StatusWord &= ~static_cast<DWORD>(kX87PendingBits);
  }
  if (has(context, CONTEXT_EXTENDED_REGISTERS)) {
    fx_write<WORD>(context, kFxControl,
                   static_cast<WORD>(fx_read<WORD>(context, kFxControl) | kX87AllMasked));
    fx_write<WORD>(context, kFxStatus,
                   static_cast<WORD>(fx_read<WORD>(context, kFxStatus) & ~kX87PendingBits));
    fx_write<DWORD>(context, kFxMxcsr,
                    (fx_read<DWORD>(context, kFxMxcsr) | kMxcsrAllMasked) & ~kMxcsrFlags);
  }
}

#else
#error "floating-point traps: x86 or x64 only"
#endif

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
  const FloatState state = float_state(context);
  const unsigned sse_pending = state.mxcsr & ~(state.mxcsr >> kMxcsrMaskShift) & kTrappedBits;
  const unsigned x87_pending = state.x87_status & ~state.x87_control & kTrappedBits;
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
  mask_in_context(*pointers->ContextRecord);
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
