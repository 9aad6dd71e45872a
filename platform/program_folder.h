#pragma once

#include <string>

namespace platform {

// The folder that holds the running program, as the file system names it (its bytes, whatever
// the locale's encoding), without a trailing separator except at the root.
std::string programFolder();

// The separator the platform writes between folders.
char pathSeparator();

} // namespace platform
