#include "platform/message_box.h"

#include <QMessageBox>

namespace platform {

void showMessage(QWidget *parent, const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

} // namespace platform
