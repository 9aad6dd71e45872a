// Measures how evenly the click facility places beats on a real sound server: the beat timer
// drives it at 120, 130 and 250 bpm while the null sink's monitor is recorded, once placing
// each click by its due time and once starting it at the next buffer, and prints the figures
// side by side. Asserts nothing. Run through run-sound-bench.sh, which starts the sound server.
//
//   cadrel_sound_bench [--seconds N] [--bpm B]... [--buffer FRAMES] [--sink NAME]
#include "beat_run.h"

#include <cstdio>
#include <cstdlib>
#include <QCoreApplication>
#include <QDir>
#include <vector>

namespace {

void printRow(const char *name, double facility, double naive, const char *format)
{
    std::printf("  %-30s", name);
    std::printf(format, facility);
    std::printf(format, naive);
    std::printf("\n");
}

void report(double bpm, const BeatRunResult &f, const BeatRunResult &n)
{
    std::printf("\n%.0f bpm, ideal interval %.6f ms, %d and %d requests\n", bpm, 60000.0 / bpm,
                f.requests, n.requests);
    std::printf("  %-30s%16s%16s\n", "", "facility", "naive");
    const auto &a = f.figures;
    const auto &b = n.figures;
    printRow("onsets", a.onsets, b.onsets, "%16.0f");
    printRow("mean interval (ms)", a.meanInterval, b.meanInterval, "%16.6f");
    printRow("mean - ideal (ms)", a.meanDeviation, b.meanDeviation, "%16.6f");
    printRow("spread max-min (ms)", a.spread, b.spread, "%16.4f");
    printRow("std dev (ms)", a.stdDev, b.stdDev, "%16.4f");
    printRow("worst |interval-ideal| (ms)", a.worstDeviation, b.worstDeviation, "%16.4f");
    printRow("drift of last beat (ms)", a.drift, b.drift, "%16.4f");
    const auto &fs = f.stats.stream;
    const auto &ns = n.stats.stream;
    printRow("late clicks", double(fs.mixer.late), double(ns.mixer.late), "%16.0f");
    printRow("worst tick lateness (ms)", f.worstTickLateMs, n.worstTickLateMs, "%16.3f");
    printRow("measured output rate (Hz)", f.stats.measuredRate, n.stats.measuredRate, "%16.2f");
    printRow("clock restarts", fs.clockRestarts, ns.clockRestarts, "%16.0f");
    printRow("timeline jumps taken over", fs.clockSteps, ns.clockSteps, "%16.0f");
    printRow("server dropouts", fs.dropouts, ns.dropouts, "%16.0f");
    printRow("grids laid again (bound)", f.stats.grid.reanchored, n.stats.grid.reanchored,
             "%16.0f");
    printRow("audio thread real-time (1/0)", fs.realtime, ns.realtime, "%16.0f");
    std::printf("  %-30s%16.1f\n", "spread ratio naive/facility",
                a.spread > 0 ? b.spread / a.spread : 0.0);
    std::printf("  %-30s%16.3f   (%s output at %d Hz; least lead seen %.3f ms)\n",
                "scheduled output latency (ms)", f.latencyMs, f.stats.outputKind, f.stats.rate,
                f.stats.rate > 0 ? fs.mixer.minLead * 1000.0 / f.stats.rate : 0.0);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int seconds = 60;
    int buffer = 1008;
    QString sink = QStringLiteral("cadrel_null");
    std::vector<double> tempos;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); i += 2) {
        if (args[i] == QLatin1String("--seconds"))
            seconds = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--buffer"))
            buffer = args[i + 1].toInt();
        else if (args[i] == QLatin1String("--sink"))
            sink = args[i + 1];
        else if (args[i] == QLatin1String("--bpm"))
            tempos.push_back(args[i + 1].toDouble());
    }
    if (tempos.empty())
        tempos = {120, 130, 250};
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        qputenv("PULSE_SERVER", "unix:/tmp/cadrel-pulseaudio/run/pulse/native");
    qputenv("PULSE_SINK", sink.toLocal8Bit()); // the default sink of this program's streams

    const QString click = QDir(app.applicationDirPath()).filePath(QStringLiteral("sn.wav"));
    std::printf("click facility bench: %d s per run, click %s, server %s\n", seconds,
                qPrintable(click), qgetenv("PULSE_SERVER").constData());
    for (const double bpm : tempos) {
        const BeatRunResult facility =
            runBeats({bpm, false, seconds, buffer, click, sink + QStringLiteral(".monitor")});
        const BeatRunResult naive =
            runBeats({bpm, true, seconds, buffer, click, sink + QStringLiteral(".monitor")});
        if (!facility.ok || !naive.ok) {
            std::fprintf(stderr, "run failed: %s%s\n", qPrintable(facility.error),
                         qPrintable(naive.error));
            return EXIT_FAILURE;
        }
        report(bpm, facility, naive);
        std::fflush(stdout);
    }
    return EXIT_SUCCESS;
}
