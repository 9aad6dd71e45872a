#pragma once

#include "core/metronome.h"
#include "platform/app_setup.h"
#include "test_beats.h"
#include "window/metronome_window.h"
#include "window/surface.h"

#include <memory>
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QSlider>
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

// The metronome and its window as the user finds them at program start, shown and exposed,
// with beats the test says are heard.
struct TestProgram {
    TestProgram() : metronome(beats, "sn.wav"), window(metronome) {}

    // A beat heard, now.
    void tick() { metronome.beatHeard(); }
    template <class Widget> Widget *widget(const char *name)
    {
        return window.findChild<Widget *>(QLatin1String(name));
    }
    // What a label of the window shows.
    QString shown(const char *name) const
    {
        return window.findChild<QLabel *>(QLatin1String(name))->text();
    }

    TestBeats beats;
    core::Metronome metronome;
    window::MetronomeWindow window;
};

inline std::unique_ptr<TestProgram> showNewProgram()
{
    static bool setUp = false;
    if (!setUp) {
        platform::setUpApplication(*qApp);
        setUp = true;
    }
    auto program = std::make_unique<TestProgram>();
    program->window.show();
    if (!QTest::qWaitForWindowExposed(&program->window))
        return nullptr;
    program->window.activateWindow();
    if (!QTest::qWaitForWindowActive(&program->window))
        return nullptr;
    return program;
}

// The metronome's tempo, and what the user sees of it: the slider's value and the tempo frame's
// caption (which stays "Bpm" until the tempo first changes).
inline void expectTempo(TestProgram &p, int tempo, const QString &caption)
{
    QCOMPARE(p.metronome.tempo(), tempo);
    QCOMPARE(p.widget<QSlider>("Slider1")->value(), tempo);
    QCOMPARE(p.widget<window::Frame>("Frame3")->caption(), caption);
}

// Moves the caret the way the keys of a keyboard do.
inline void placeCaret(QWidget *box, const QString &where)
{
    QTest::keyClick(box, where == "end" ? Qt::Key_End : Qt::Key_Home);
    if (where == "first selected")
        QTest::keyClick(box, Qt::Key_Right, Qt::ShiftModifier);
    else if (where == "all selected")
        QTest::keyClick(box, Qt::Key_End, Qt::ShiftModifier);
}
