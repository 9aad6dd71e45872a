#pragma once

#include <optional>

namespace platform {

// The command line, answered before any window opens and without a display: -h/--help and
// -v/--version print and end the program with status 0; an unknown option or an argument
// prints one line and the usage and ends it with status 2. Started without arguments, or with
// Qt's own options (-platform, -style...), the program goes on to its window. Texts are
// Italian, Qt's own from its translations. Returns the status to end with, if any.
std::optional<int> answerCommandLine(int argc, char **argv);

} // namespace platform
