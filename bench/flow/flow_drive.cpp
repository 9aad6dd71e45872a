// The user's first minute, driven as a user would: the window opens exactly as the program's
// main() opens it, and after a moment (--start-after, in ms) the tempo is typed into the tempo
// box with real key events, and the toggle pressed with a real mouse click. The metronome then
// beats for --seconds and is stopped. Prints "key value" lines: when start was pressed, the
// beats counted and the click facility's own figures, among them the jumps of the output
// timeline it detected. Asserts nothing.
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
    const auto &out = s.stream;
    std::printf("tempo_box %s\n", qPrintable(box->text()));
    std::printf("sound.output %s\nsound.device_open %d\nsound.realtime %d\nsound.rate %d\n",
                s.outputKind, s.deviceOpen, out.realtime, s.rate);
    std::printf("sound.clicks %lld\nsound.late %lld\nsound.min_lead_frames %lld\n",
                static_cast<long long>(out.mixer.started), static_cast<long long>(out.mixer.late),
                static_cast<long long>(out.mixer.minLead));
    std::printf("sound.clock_restarts %d\nsound.clock_steps %d\nsound.dropouts %d\n",
                out.clockRestarts, out.clockSteps, out.dropouts);
    std::printf("sound.request_jumps %d\n", out.requestJumps);
    std::printf("sound.grid_laid %d\nsound.grid_reanchored %d\nsound.grid_rate %.4f\n", s.grid.laid,
                s.grid.reanchored, s.grid.rate);
    std::printf("sound.grid_offset_frames %.2f\nsound.measured_rate %.4f\n", s.grid.offset,
                s.measuredRate);
    // Frames of the output stream, for placing the dropouts between the clicks.
    const auto list = [](const char *key, const std::vector<std::int64_t> &frames) {
        std::printf("%s", key);
        for (const std::int64_t f : frames)
            std::printf(" %lld", static_cast<long long>(f));
        std::printf("\n");
    };
    list("frames.onsets", out.onsets);
    list("frames.dropouts", out.dropoutAt);
    list("frames.clock_steps", out.clockStepAt);
    list("frames.request_jumps", out.requestJumpAt);
    list("frames.grid_relaid", s.grid.relaid);
    std::fflush(stdout);
    return 0;
}
