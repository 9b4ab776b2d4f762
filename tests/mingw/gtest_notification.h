// GoogleTest's Notification for mingw-w64's win32 thread model, which has no std::mutex for the
// one GoogleTest carries; forced into every GoogleTest compile on that toolchain.
#ifndef ZKNATIVE7_GTEST_NOTIFICATION_H
#define ZKNATIVE7_GTEST_NOTIFICATION_H

#ifdef __cplusplus
#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
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
#endif

#endif
