#include "window/accessible_roles.h"

#include "window/pendulum.h"
#include "window/picture_box.h"
#include "window/surface.h"

#include <QAccessibleWidget>

namespace window {

namespace {

QAccessibleInterface *roleFactory(const QString &className, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    if (!widget)
        return nullptr;
    const auto is = [&className](const QMetaObject &meta) {
        return className == QLatin1String(meta.className());
    };
    if (is(Surface::staticMetaObject) || is(Frame::staticMetaObject))
        return new QAccessibleWidget(widget, widget->isWindow() ? QAccessible::Window
                                                                : QAccessible::Grouping);
    if (is(PictureBox::staticMetaObject) || is(Pendulum::staticMetaObject))
        return new QAccessibleWidget(widget, QAccessible::Graphic);
    if (is(DesignLine::staticMetaObject))
        return new QAccessibleWidget(widget, QAccessible::Separator);
    return nullptr;
}

} // namespace

void installAccessibleRoles()
{
    static const bool installed = (QAccessible::installFactory(roleFactory), true);
    (void)installed;
}

} // namespace window
