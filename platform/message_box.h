#pragma once

class QString;
class QWidget;

namespace platform {

// A modal message with one OK button and no icon; returns when the user dismisses it.
void showMessage(QWidget *parent, const QString &text, const QString &title);

} // namespace platform
