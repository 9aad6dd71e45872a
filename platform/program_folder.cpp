#include "platform/program_folder.h"

#include <QCoreApplication>
#include <QDir>

namespace platform {

QString programFolder()
{
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

QChar pathSeparator()
{
    return QDir::separator();
}

} // namespace platform
