// GoogleTest's own hook for a platform's additions, ahead of the system's
// empty one, for the win32 thread model of mingw-w64: it has no std::mutex
// or std::condition_variable, on which GoogleTest's Notification is built.
// The same notification over a Windows event.
#ifndef QUORVANE_GTEST_CUSTOM_PORT_H_
#define QUORVANE_GTEST_CUSTOM_PORT_H_

#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~Notification() { CloseHandle(event_); }
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify() { SetEvent(event_); }
  void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

 private:
  HANDLE event_;
};

}  // namespace internal
}  // namespace testing

#endif  // QUORVANE_GTEST_CUSTOM_PORT_H_
