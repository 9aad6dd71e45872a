#pragma once

namespace platform {

// While it lives (around the making of the QApplication), Qt's giving up for want of a usable
// platform (a display that does not answer, a platform plugin that does not load) ends the
// program with status 1 and the program's own message, instead of an abort and a core file.
// What Qt said meanwhile is kept and passed on once the platform has started.
class PlatformFailureGuard
{
public:
    explicit PlatformFailureGuard(const char *program);
    ~PlatformFailureGuard();
    PlatformFailureGuard(const PlatformFailureGuard &) = delete;
    PlatformFailureGuard &operator=(const PlatformFailureGuard &) = delete;
};

} // namespace platform
