#pragma once

// Screen readers read the labels painted on the window and on its frames as the labels they
// are: each surface lists them among its children, as static texts named by their captions
// and placed where they are drawn.
namespace window {

class Label;

// Makes the window's surfaces show their painted labels; once, before the window is shown.
void installPaintedAccessibility();

// Tells assistive technology that `label`'s caption changed (the beat count does, each beat).
void announceCaption(const Label &label);

} // namespace window
