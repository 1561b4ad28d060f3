#include <windows.h>

#include "runtime/host/host_win32.h"

namespace quorvane {

// Each call reads the clock anew: a date and a time taken by two calls may
// straddle midnight, which the caller accepts.
void WindowsClock::local_date(std::int16_t& year, std::int16_t& month, std::int16_t& day) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  year = static_cast<std::int16_t>(now.wYear);
  month = static_cast<std::int16_t>(now.wMonth);
  day = static_cast<std::int16_t>(now.wDay);
}

void WindowsClock::local_time(std::int16_t& hour, std::int16_t& minute, std::int16_t& second) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  hour = static_cast<std::int16_t>(now.wHour);
  minute = static_cast<std::int16_t>(now.wMinute);
  second = static_cast<std::int16_t>(now.wSecond);
}

std::unique_ptr<HostClock> make_windows_clock() { return std::make_unique<WindowsClock>(); }

}  // namespace quorvane
