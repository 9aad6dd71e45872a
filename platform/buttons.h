#pragma once

#include <QPushButton>
#include <QRadioButton>

namespace platform {

// A command button that Enter and Return press while it has the focus, as Space does: the
// focused command button is the window's default one.
class CommandButton : public QPushButton
{
    Q_OBJECT

public:
    explicit CommandButton(const QString &caption, QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// An option button that a click anywhere in its box selects, not only on its round button or
// its caption.
class OptionButton : public QRadioButton
{
    Q_OBJECT

public:
    explicit OptionButton(const QString &caption, QWidget *parent = nullptr);

protected:
    bool hitButton(const QPoint &position) const override;
};

} // namespace platform
