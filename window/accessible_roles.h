#pragma once

// What the window's own kinds of control are to assistive technology: the window a window, a
// frame a group, the banner and the pendulum pictures, the separator a separator. (Qt's own
// controls say what they are themselves.)
namespace window {

// Once, before the window is made.
void installAccessibleRoles();

} // namespace window
