// How the output the beat is heard on is found, lost, replaced and watched, with outputs the
// test controls: the stand-in keeps the beat until one opens and whenever one is lost or
// pauses, each change is said in one line, and a spell of silence from the server in one line
// however many times the server tells of it.
#include "platform/sound/output_manager.h"
#include "sound_probe.h"
#include "stderr_capture.h"

#include <optional>
#include <QTemporaryDir>
#include <QTest>
#include <thread>

using namespace std::chrono_literals;
using cadrel_test::occurrences;
using platform::OutputManager;

namespace {

// What the test does to its outputs.
struct Control {
    std::atomic<bool> opens{true};   // the next open succeeds
    std::atomic<bool> alive{true};   // the open one is not lost
    std::atomic<bool> feeding{true}; // the open one asks for frames
    std::atomic<int> dropouts{0};
};

// An output that asks for 10 ms every 10 ms while the test lets it, heard 40 ms later.
class TestOutput : public platform::OutputStream
{
public:
    explicit TestOutput(Control &control) : control_(control) {}
    ~TestOutput() override { close(); }
    bool open(platform::StreamFiller &filler, int id, std::string &error) override
    {
        if (!control_.opens) {
            error = "refused by the test";
            return false;
        }
        thread_ = std::thread([this, &filler, id] {
            std::vector<float> buffer(2 * 480);
            std::int64_t written = 0;
            while (!stop_) {
                if (control_.feeding) {
                    const std::int64_t now = platform::monotonicNs();
                    noteFill(now);
                    filler.fill(id, buffer.data(), 480, written, now + 40'000'000, true);
                    written += 480;
                }
                std::this_thread::sleep_for(10ms);
            }
        });
        return true;
    }
    void close() override
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    bool alive() const override { return control_.alive; }
    const char *name() const override { return "di prova"; }
    int dropouts() const override { return control_.dropouts; }

private:
    Control &control_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

template <typename Condition> bool waitFor(Condition condition)
{
    const auto end = std::chrono::steady_clock::now() + 20s;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

} // namespace

class TestOutputManager : public QObject
{
    Q_OBJECT

    Control control;
    std::shared_ptr<platform::BeatEngine> engine;
    QTemporaryDir dir;

    std::unique_ptr<OutputManager> manager()
    {
        platform::SoundSettings settings;
        settings.retryEvery = 100ms;
        return std::make_unique<OutputManager>(engine, settings, [this] {
            std::vector<std::unique_ptr<platform::OutputStream>> streams;
            streams.push_back(std::make_unique<TestOutput>(control));
            return streams;
        });
    }

private slots:
    void init()
    {
        control.opens = control.alive = control.feeding = true;
        control.dropouts = 0;
        engine = std::make_shared<platform::BeatEngine>();
    }

    // No output at first: the stand-in keeps the beat, once said; the output that opens later
    // takes it over, said once too.
    void theStandInKeepsTheBeatUntilAnOutputOpens()
    {
        control.opens = false;
        cadrel_test::StderrCapture capture(dir.filePath("none.txt").toStdString());
        auto outputs = manager();
        QVERIFY(platform::SoundProbe::waitForLooks(*outputs, 1, 20s));
        QVERIFY(waitFor([&] { return engine->inUse() == 0; }));
        engine->start(platform::monotonicNs(), 250);
        outputs->wake();
        QVERIFY(waitFor([&] { return engine->stats().placed >= 2; }));
        control.opens = true;
        QVERIFY(waitFor([&] { return engine->inUse() > 0; }));
        QVERIFY(outputs->stats().deviceOpen);
        QCOMPARE(outputs->stats().output, "di prova");
        engine->stop(platform::monotonicNs());
        outputs.reset();
        const std::string text = capture.text();
        QCOMPARE(occurrences(text, "nessun server audio ha risposto"), std::size_t(1));
        QCOMPARE(occurrences(text, "refused by the test"), std::size_t(1));
        QCOMPARE(occurrences(text, "uscita audio disponibile"), std::size_t(1));
    }

    void aLostOrSilentOutputGivesTheBeatToTheStandIn_data()
    {
        QTest::addColumn<bool>("lost");
        QTest::addColumn<QStringList>("said");
        QTest::newRow("lost") << true << QStringList{"uscita audio persa"};
        QTest::newRow("silent past the answer limit")
            << false << QStringList{"non risponde;", "uscita audio persa"};
    }
    void aLostOrSilentOutputGivesTheBeatToTheStandIn()
    {
        QFETCH(bool, lost);
        QFETCH(QStringList, said);
        cadrel_test::StderrCapture capture(dir.filePath("lost.txt").toStdString());
        auto outputs = manager();
        QVERIFY(waitFor([&] { return engine->inUse() > 0; }));
        engine->start(platform::monotonicNs(), 250);
        outputs->wake();
        QVERIFY(waitFor([&] { return engine->stats().placed >= 1; }));
        control.opens = false;
        (lost ? control.alive : control.feeding) = false;
        QVERIFY(waitFor([&] { return engine->inUse() == 0; }));
        QVERIFY(waitFor([&] { return !outputs->stats().deviceOpen; }));
        const auto placed = engine->stats().placed;
        QVERIFY(waitFor([&] { return engine->stats().placed >= placed + 2; })); // beat goes on
        engine->stop(platform::monotonicNs());
        outputs.reset();
        for (const QString &line : said)
            QCOMPARE(occurrences(capture.text(), line.toStdString()), std::size_t(1));
    }

    // An output that asks for nothing for a while (a busy machine, a server held up) while the
    // beat runs: the stand-in keeps the beat meanwhile, and when it asks again it has the beat
    // back, its stream not opened again; a pause before the beat starts changes nothing.
    void aPausedOutputHasTheBeatBack()
    {
        cadrel_test::StderrCapture capture(dir.filePath("paused.txt").toStdString());
        auto outputs = manager();
        QVERIFY(waitFor([&] { return engine->inUse() > 0; }));
        const int output = engine->inUse();
        control.feeding = false;
        std::this_thread::sleep_for(600ms);
        QCOMPARE(engine->inUse(), output);
        control.feeding = true;
        engine->start(platform::monotonicNs(), 250);
        outputs->wake();
        QVERIFY(waitFor([&] { return engine->stats().placed >= 1; }));
        control.feeding = false;
        QVERIFY(waitFor([&] { return engine->inUse() == 0; }));
        const auto placed = engine->stats().placed;
        QVERIFY(waitFor([&] { return engine->stats().placed >= placed + 2; })); // beat goes on
        control.feeding = true;
        QVERIFY(waitFor([&] { return engine->inUse() == output; }));
        QCOMPARE(outputs->stats().openAttempts, 1);
        QCOMPARE(outputs->stats().pauses, 1);
        engine->stop(platform::monotonicNs());
        outputs.reset();
        const std::string text = capture.text();
        QCOMPARE(occurrences(text, "non risponde;"), std::size_t(1));
        QCOMPARE(occurrences(text, "risponde di nuovo"), std::size_t(1));
        QCOMPARE(occurrences(text, "uscita audio persa"), std::size_t(0));
    }

    // An output slow to start while the beat runs (a device waking) is not said to pause: the
    // stand-in has the beat until it plays, and it takes it over then.
    void anOutputSlowToStartIsNotSaidToPause()
    {
        cadrel_test::StderrCapture capture(dir.filePath("slow.txt").toStdString());
        control.feeding = false;
        engine->start(platform::monotonicNs(), 250);
        auto outputs = manager();
        outputs->wake();
        QVERIFY(platform::SoundProbe::waitForLooks(*outputs, 1, 20s));
        std::this_thread::sleep_for(700ms);
        QCOMPARE(engine->inUse(), 0);
        control.feeding = true;
        QVERIFY(waitFor([&] { return engine->inUse() > 0; }));
        engine->stop(platform::monotonicNs());
        outputs.reset();
        QCOMPARE(occurrences(capture.text(), "non risponde"), std::size_t(0));
    }

    // Stopped while the stand-in holds a click not yet "heard": once that is taken back there
    // is nothing left to write, and the stand-in rests.
    void theStandInRestsAfterAStop()
    {
        control.opens = false;
        auto outputs = manager();
        QVERIFY(waitFor([&] { return engine->inUse() == 0; }));
        engine->start(platform::monotonicNs(), 250);
        outputs->wake();
        std::optional<std::int64_t> next;
        QVERIFY(waitFor([&] { return (next = engine->nextHeardNs()).has_value(); }));
        engine->stop(*next - 20'000'000); // as a press 20 ms before the beat
        outputs->takeBack();
        QVERIFY(waitFor([&] { return engine->idle(0, platform::monotonicNs()); }));
    }

    // The server tells of silence three times in one spell, then once more later: two lines.
    void oneLineForEachSpellOfSilence()
    {
        cadrel_test::StderrCapture capture(dir.filePath("dry.txt").toStdString());
        auto outputs = manager();
        QVERIFY(waitFor([&] { return engine->inUse() > 0; }));
        control.dropouts = 3;
        QVERIFY(waitFor([&] { return outputs->stats().dropouts == 3; }));
        const auto watched = outputs->stats().watched;
        QVERIFY(waitFor([&] { return outputs->stats().watched >= watched + 2; })); // a quiet look
        control.dropouts = 4;
        QVERIFY(waitFor([&] { return outputs->stats().dropouts == 4; }));
        outputs.reset();
        QCOMPARE(occurrences(capture.text(), "ha suonato silenzio"), std::size_t(2));
    }
};

QTEST_APPLESS_MAIN(TestOutputManager)
#include "tst_output_manager.moc"
