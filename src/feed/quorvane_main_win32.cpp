// quorvane.exe: the process start, then the feeder's main over the Win32 host
// services and clock. The program takes no arguments and reads no
// configuration file.

#include "feed/feeder.h"
#include "runtime/host/host_win32.h"
#include "runtime/process/start.h"

namespace {

// Constant-initialized: nothing runs before the process start.
constinit quorvane::WindowsHost host;
constinit quorvane::WindowsClock host_clock;
constinit quorvane::Feeder feeder(host, host_clock);

void feed() { feeder.main(); }

}  // namespace

int main() { quorvane::start_process(feed); }
