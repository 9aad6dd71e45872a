#include "window/painted_accessible.h"

#include "window/painted_controls.h"

#include <QAccessibleWidget>

namespace window {
namespace {

class LabelAccessible : public QAccessibleInterface
{
public:
    explicit LabelAccessible(const Label &label) : m_label(label) {}

    bool isValid() const override { return true; }
    QObject *object() const override { return &m_label.accessibleObject(); }
    QWindow *window() const override { return m_label.surface().window()->windowHandle(); }
    QAccessibleInterface *parent() const override
    {
        return QAccessible::queryAccessibleInterface(const_cast<Surface *>(&m_label.surface()));
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? m_label.caption() : QString();
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override
    {
        return {m_label.surface().mapToGlobal(m_label.box().topLeft()), m_label.box().size()};
    }
    QAccessible::Role role() const override { return QAccessible::StaticText; }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.readOnly = true;
        return state;
    }

private:
    const Label &m_label;
};

// The interface of a label, made once and then kept by Qt until the label goes.
QAccessibleInterface *labelInterface(const Label &label)
{
    QObject *object = &label.accessibleObject();
    if (QAccessibleInterface *known = QAccessible::queryAccessibleInterface(object))
        return known;
    auto *made = new LabelAccessible(label);
    QAccessible::registerAccessibleInterface(made);
    return made;
}

// A surface: its child windows first, then its painted labels.
class SurfaceAccessible : public QAccessibleWidget
{
public:
    explicit SurfaceAccessible(Surface *surface)
        : QAccessibleWidget(surface,
                            surface->isWindow() ? QAccessible::Window : QAccessible::Grouping)
    {}

    int childCount() const override
    {
        return QAccessibleWidget::childCount() + int(labels().size());
    }
    QAccessibleInterface *child(int index) const override
    {
        const int widgets = QAccessibleWidget::childCount();
        if (index < widgets)
            return QAccessibleWidget::child(index);
        const auto painted = labels();
        return index - widgets < int(painted.size())
                   ? labelInterface(*painted[std::size_t(index - widgets)])
                   : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        const auto painted = labels();
        for (std::size_t i = 0; i < painted.size(); ++i)
            if (child->object() == &painted[i]->accessibleObject())
                return QAccessibleWidget::childCount() + int(i);
        return QAccessibleWidget::indexOfChild(child);
    }

private:
    std::vector<const Label *> labels() const
    {
        return static_cast<const Surface *>(widget())->painted<Label>();
    }
};

QAccessibleInterface *surfaceFactory(const QString &className, QObject *object)
{
    if (className == QLatin1String(Surface::staticMetaObject.className()))
        if (auto *surface = qobject_cast<Surface *>(object))
            return new SurfaceAccessible(surface);
    return nullptr;
}

} // namespace

void installPaintedAccessibility()
{
    static const bool installed = (QAccessible::installFactory(surfaceFactory), true);
    (void)installed;
}

void announceCaption(const Label &label)
{
    QAccessibleEvent event(labelInterface(label), QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

} // namespace window
