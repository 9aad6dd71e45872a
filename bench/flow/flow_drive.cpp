// The user's first minute, driven as a user would: the window opens exactly as the program's
// main() opens it, and after a moment (--start-after, in ms) the tempo is typed into the tempo
// box with real key events, and the toggle pressed with a real mouse click. The metronome then
// beats for --seconds and is stopped. Prints "key value" lines: when start was pressed, the
// beats counted and the sound's own figures: clicks written, beats heard and taken back, the
// server's dropouts. Asserts nothing.
//
//   cadrel_flow_drive [--start-after MS] [--tempo BPM] [--seconds S]
#include "platform/text_box.h"
#include "shown_program.h"

#include <chrono>
#include <cstdio>
#include <QEventLoop>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <string>

namespace {

void waitMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char *argv[])
{
    int startAfter = 1500, tempo = 240, seconds = 30;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const int value = std::stoi(argv[i + 1]);
        if (key == "--start-after")
            startAfter = value;
        else if (key == "--tempo")
            tempo = value;
        else if (key == "--seconds")
            seconds = value;
    }
    const auto launched = std::chrono::steady_clock::now();
    ShownProgram shown(argv);
    Program &program = *shown.program;
    window::MetronomeWindow &form = program.window;

    const auto sinceLaunch = [&] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - launched).count();
    };
    waitMs(std::max(0, startAfter - int(sinceLaunch() * 1000)));
    // Into the box, over the "40" that is there, as a user types it.
    auto *box = form.findChild<platform::TextBox *>(QStringLiteral("Text2"));
    auto *toggle = form.findChild<QPushButton *>(QStringLiteral("cmdAbilitaDisabilita"));
    QTest::mouseClick(box, Qt::LeftButton);
    QTest::keyClick(box, Qt::Key_End);
    QTest::keyClick(box, Qt::Key_Home, Qt::ShiftModifier);
    QTest::keyClicks(box, QString::number(tempo));
    std::printf("start_after_launch_s %.3f\n", sinceLaunch());
    QTest::mouseClick(toggle, Qt::LeftButton);
    waitMs(seconds * 1000);
    QTest::mouseClick(toggle, Qt::LeftButton);
    std::printf("beats %s\n", qPrintable(program.metronome.count()));
    waitMs(1000);

    const platform::Sound::Stats s = program.sound.stats();
    std::printf("tempo_box %s\n", qPrintable(box->text()));
    std::printf("sound.output %s\nsound.device_open %d\nsound.realtime %d\n",
                s.output.output.c_str(), s.output.deviceOpen, s.output.realtime);
    std::printf("sound.clicks %zu\nsound.placed %lld\nsound.heard %lld\nsound.taken_back %lld\n",
                s.beats.onsets.size(), static_cast<long long>(s.beats.placed),
                static_cast<long long>(s.beats.heard), static_cast<long long>(s.beats.takenBack));
    std::printf("sound.dropouts %lld\nsound.takeovers %lld\n",
                static_cast<long long>(s.beats.dropouts),
                static_cast<long long>(s.beats.takeovers));
    std::printf("frames.onsets");
    for (const std::int64_t f : s.beats.onsets)
        std::printf(" %lld", static_cast<long long>(f));
    std::printf("\n");
    std::fflush(stdout);
    return 0;
}
