#pragma once

#include "platform/app_setup.h"
#include "window/frm_cadrel.h"

#include <memory>
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

// Answers every message box the window shows, as a user would, and remembers what it said.
class MessageBoxWatcher : public QObject
{
public:
    struct Seen {
        QString title;
        QString text;
        QStringList buttons;
        QMessageBox::Icon icon;
    };

    MessageBoxWatcher()
    {
        m_poll.setInterval(5);
        connect(&m_poll, &QTimer::timeout, this, &MessageBoxWatcher::answer);
        m_poll.start();
    }

    const QList<Seen> &seen() const { return m_seen; }

private:
    void answer()
    {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        QStringList buttons;
        for (QAbstractButton *button : box->buttons())
            buttons << button->text();
        m_seen.append({box->windowTitle(), box->text(), buttons, box->icon()});
        box->button(QMessageBox::Ok)->click();
    }

    QTimer m_poll;
    QList<Seen> m_seen;
};

// Types text key by key; characters beyond ASCII come as the keyboard layout would send them,
// as key presses with that text.
inline void typeText(QWidget *widget, const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 128) {
            QTest::keyClicks(widget, QString(c));
        } else {
            QTest::sendKeyEvent(QTest::Press, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, widget, Qt::Key_unknown, QString(c),
                                Qt::NoModifier);
        }
    }
}

// A freshly built window, shown and exposed, as the user finds it at program start.
inline std::unique_ptr<window::frmCadrel> showNewWindow()
{
    static bool setUp = false;
    if (!setUp) {
        platform::setUpApplication(*qApp);
        setUp = true;
    }
    auto form = std::make_unique<window::frmCadrel>();
    form->show();
    if (!QTest::qWaitForWindowExposed(form.get()))
        return nullptr;
    form->activateWindow();
    if (!QTest::qWaitForWindowActive(form.get()))
        return nullptr;
    return form;
}
