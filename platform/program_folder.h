#pragma once

#include <QString>

namespace platform {

// The folder that holds the running program, without a trailing separator except at the root.
QString programFolder();

// The separator the platform writes between folders.
QChar pathSeparator();

} // namespace platform
