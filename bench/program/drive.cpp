// Drives the whole metronome as a user would and measures what it costs: it creates the window
// exactly as the program's main() does, notes when the window is first shown, leaves it idle,
// sets the tempo on the slider, presses the toggle with a real mouse click, lets it beat, presses
// again and leaves it stopped (the pendulum tick still runs). It prints "key value" lines: CPU
// time of each phase (whole process and per thread), resident memory sampled through the run,
// the beats counted and the click facility's own figures. Asserts nothing.
//
//   cadrel_program_drive [--launch-ns T] [--bpm B] [--idle S] [--seconds S] [--after S]
//                        [--sample S]
// T is CLOCK_REALTIME in nanoseconds taken just before the process was started.
#include "platform/slider.h"
#include "shown_program.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <QDir>
#include <QEventLoop>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double realtimeNs()
{
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return double(ts.tv_sec) * 1e9 + double(ts.tv_nsec);
}

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval &t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Field "VmRSS:" or "VmHWM:" of /proc/self/status, in kB.
long statusKb(const std::string &field)
{
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(field.size()));
    return -1;
}

// CPU clock ticks (utime + stime) of each thread, keyed by "tid:name".
std::map<std::string, long> threadTicks()
{
    std::map<std::string, long> ticks;
    for (const QString &tid :
         QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        std::ifstream in("/proc/self/task/" + tid.toStdString() + "/stat");
        std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto open = stat.find('('), close = stat.rfind(')');
        if (open == std::string::npos || close == std::string::npos)
            continue;
        std::istringstream rest(stat.substr(close + 2));
        std::string field;
        long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && rest >> field; ++i) {
            if (i == 14)
                utime = std::stol(field);
            if (i == 15)
                stime = std::stol(field);
        }
        std::string name = stat.substr(open + 1, close - open - 1);
        for (char &c : name)
            c = c == ' ' ? '_' : c;
        ticks[tid.toStdString() + ":" + name] = utime + stime;
    }
    return ticks;
}

void waitMs(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// One phase: wall time, process CPU time and each thread's ticks over it.
void measurePhase(const char *name, int seconds)
{
    const auto ticks = threadTicks();
    const double cpu = cpuSeconds();
    const auto start = Clock::now();
    waitMs(seconds * 1000);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double used = cpuSeconds() - cpu;
    std::printf("phase.%s.wall_s %.3f\nphase.%s.cpu_s %.4f\nphase.%s.cpu_pct %.3f\n", name, wall,
                name, used, name, 100.0 * used / wall);
    const double tick = double(sysconf(_SC_CLK_TCK));
    for (const auto &[thread, after] : threadTicks()) {
        const auto before = ticks.find(thread);
        const long spent = after - (before == ticks.end() ? 0 : before->second);
        if (spent > 0)
            std::printf("thread.%s.%s_pct %.3f\n", name, thread.c_str(),
                        100.0 * spent / tick / wall);
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    double launchNs = 0;
    int bpm = 120, idle = 10, seconds = 60, after = 10, sample = 10;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        const double value = std::stod(argv[i + 1]);
        if (key == "--launch-ns")
            launchNs = value;
        else if (key == "--bpm")
            bpm = int(value);
        else if (key == "--idle")
            idle = int(value);
        else if (key == "--seconds")
            seconds = int(value);
        else if (key == "--after")
            after = int(value);
        else if (key == "--sample")
            sample = int(value);
    }

    ShownProgram shown(argv);
    Program &program = *shown.program;
    window::MetronomeWindow &form = program.window;
    const double shownNs = realtimeNs();
    if (launchNs > 0)
        std::printf("launch_to_shown_ms %.1f\n", (shownNs - launchNs) / 1e6);
    std::printf("start_caption %s\n", qPrintable(program.metronome.count()));
    auto *toggle = form.findChild<QPushButton *>(QStringLiteral("cmdAbilitaDisabilita"));

    const auto begin = Clock::now();
    QTimer sampler;
    sampler.setTimerType(Qt::PreciseTimer);
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        std::printf("rss_kb %.0f %ld\n",
                    std::chrono::duration<double>(Clock::now() - begin).count(),
                    statusKb("VmRSS:"));
        std::fflush(stdout);
    });
    sampler.start(sample * 1000);
    std::printf("rss_kb 0 %ld\n", statusKb("VmRSS:"));

    measurePhase("idle", idle);
    form.findChild<platform::Slider *>(QStringLiteral("Slider1"))->setValue(bpm);
    std::printf("press_realtime_ns %.0f\n", realtimeNs());
    QTest::mouseClick(toggle, Qt::LeftButton);
    std::printf("caption_after_start %s\n", qPrintable(toggle->text()));
    measurePhase("running", seconds);
    QTest::mouseClick(toggle, Qt::LeftButton);
    std::printf("count_at_stop %s\n", qPrintable(program.metronome.count()));
    measurePhase("after", after);
    std::printf("count_final %s\n", qPrintable(program.metronome.count()));
    std::printf("rss_kb %.0f %ld\n", std::chrono::duration<double>(Clock::now() - begin).count(),
                statusKb("VmRSS:"));
    std::printf("vmhwm_kb %ld\n", statusKb("VmHWM:"));

    const platform::Sound::Stats stats = program.sound.stats();
    std::printf("sound.device_open %d\nsound.output %s\nsound.realtime %d\n",
                stats.output.deviceOpen, stats.output.output.c_str(), stats.output.realtime);
    std::printf("sound.clicks_started %zu\nsound.heard %lld\nsound.missed %lld\n",
                stats.beats.onsets.size(), static_cast<long long>(stats.beats.heard),
                static_cast<long long>(stats.beats.missed));
    std::printf("sound.dropouts %lld\n", static_cast<long long>(stats.beats.dropouts));
    std::fflush(stdout);
    return 0;
}
