#include "platform/program_folder.h"

#include <QCoreApplication>
#include <QDir>

#if defined(Q_OS_LINUX)
#include <unistd.h>
#endif

namespace platform {

std::string programFolder()
{
#if defined(Q_OS_LINUX)
    // The link to the running program holds its path as bytes; Qt would decode them, and lose
    // the name of a folder that is not in the locale's encoding.
    std::string path(256, '\0');
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", path.data(), path.size());
        if (length < 0)
            break;
        if (std::size_t(length) < path.size()) {
            path.resize(std::size_t(length));
            const auto slash = path.rfind('/');
            return slash == 0 || slash == std::string::npos ? "/" : path.substr(0, slash);
        }
        path.resize(path.size() * 2);
    }
#endif
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath())
        .toLocal8Bit()
        .toStdString();
}

char pathSeparator()
{
    return char(QDir::separator().toLatin1());
}

} // namespace platform
