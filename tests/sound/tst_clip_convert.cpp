// A clip made ready for an output: its rate and channels converted, its attack kept on frame 0;
// and the beep played in place of a file that cannot be.
#include "platform/sound/clip_convert.h"
#include "platform/sound/default_beep.h"
#include "wave_bytes.h"

#include <cmath>
#include <QTest>

using platform::convertClip;
using platform::PcmClip;
using Samples = std::vector<float>;

namespace {

std::size_t loudestFrame(const PcmClip &clip)
{
    std::size_t loudest = 0;
    for (std::size_t i = 0; i < clip.samples.size(); ++i)
        if (std::abs(clip.samples[i]) > std::abs(clip.samples[loudest]))
            loudest = i;
    return loudest / std::size_t(clip.channels);
}

} // namespace

class TestClipConvert : public QObject
{
    Q_OBJECT

private slots:
    void keepsTheAttackAndTheSound_data()
    {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        for (const auto &[from, to] : {std::pair{44100, 48000},
                                       {48000, 44100},
                                       {22050, 48000},
                                       {96000, 48000},
                                       {8000, 48000},
                                       {48000, 8000},
                                       {32000, 44100}})
            QTest::addRow("%d to %d Hz", from, to) << from << to;
    }

    // The converter has no delay: an impulse on source frame 0 peaks on output frame 0, one on a
    // later frame on that frame's time at the new rate, within a frame; and the clip's length
    // follows the ratio. A stereo pair of sines comes out as the same sines at the new rate.
    void keepsTheAttackAndTheSound()
    {
        QFETCH(int, from);
        QFETCH(int, to);
        const double ratio = double(to) / from;
        for (const std::size_t onset : {std::size_t(0), std::size_t(1), std::size_t(441)}) {
            PcmClip clip{from, 1, Samples(std::size_t(from) / 10, 0.0f)};
            clip.samples[onset] = 1.0f;
            const PcmClip out = convertClip(clip, to, 2);
            QCOMPARE(out.rate, to);
            QCOMPARE(out.channels, 2);
            QVERIFY(std::abs(double(out.frames()) - clip.frames() * ratio) <= 1.0);
            const double expected = onset * ratio;
            QVERIFY2(std::abs(double(loudestFrame(out)) - expected) <= 1.0,
                     qPrintable(QString("onset %1 peaks at %2").arg(onset).arg(loudestFrame(out))));
        }
        const PcmClip clip{from, 2, cadrel_test::sines(from, 2, std::size_t(from) / 5)};
        const PcmClip out = convertClip(clip, to, 2);
        const Samples expected = cadrel_test::sines(to, 2, out.frames());
        double worst = 0;
        // Away from the ends, where the sines start and stop abruptly.
        for (std::size_t i = std::size_t(to) / 100; i < out.frames() - std::size_t(to) / 100; ++i)
            for (std::size_t c = 0; c < 2; ++c)
                worst =
                    std::max(worst, double(std::abs(out.samples[2 * i + c] - expected[2 * i + c])));
        QVERIFY2(worst < 1e-3, qPrintable(QString::number(worst)));
    }

    void mapsChannels_data()
    {
        QTest::addColumn<Samples>("frame");
        QTest::addColumn<int>("channels");
        QTest::addColumn<Samples>("expected");
        QTest::newRow("mono to stereo") << Samples{0.5f} << 2 << Samples{0.5f, 0.5f};
        QTest::newRow("mono to four") << Samples{0.5f} << 4 << Samples{0.5f, 0.5f, 0.5f, 0.5f};
        QTest::newRow("stereo to mono") << Samples{0.5f, -0.1f} << 1 << Samples{0.2f};
        QTest::newRow("stereo to four") << Samples{0.5f, -0.1f} << 4 << Samples{0.5f, -0.1f, 0, 0};
        QTest::newRow("three to mono") << Samples{0.3f, 0.6f, 0.0f} << 1 << Samples{0.3f};
        QTest::newRow("eight to stereo: averaged, on both")
            << Samples{0.8f, 0, 0, 0, 0, 0, 0, 0} << 2 << Samples{0.1f, 0.1f};
    }

    void mapsChannels()
    {
        QFETCH(Samples, frame);
        QFETCH(int, channels);
        QFETCH(Samples, expected);
        const int from = int(frame.size());
        const PcmClip out = convertClip(PcmClip{48000, from, frame}, 48000, channels);
        QCOMPARE(out.channels, channels);
        QCOMPARE(out.samples.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i)
            QVERIFY2(std::abs(out.samples[i] - expected[i]) < 1e-6f,
                     qPrintable(QString::number(i)));
    }

    // Beyond a ratio of 256 libsamplerate refuses: no frames, for the caller to say so.
    void givesNothingForARateItCannotConvert()
    {
        const PcmClip clip{100, 1, Samples(100, 0.5f)};
        QCOMPARE(convertClip(clip, 48000, 1).frames(), std::size_t(0));
        QVERIFY(convertClip(clip, 200, 1).frames() > 0);
    }

    void defaultBeepIsSoftAndShort()
    {
        const auto beep = platform::makeDefaultBeep(48000, 2);
        QCOMPARE(beep.channels, 2);
        QVERIFY(beep.frames() > 2400 && beep.frames() < 12000); // between 50 and 250 ms
        float peak = 0;
        for (const float s : beep.samples)
            peak = std::max(peak, std::abs(s));
        QVERIFY(peak > 0.05f && peak <= 0.3f);
        QCOMPARE(beep.samples.front(), 0.0f); // smooth start: no click of its own
        QVERIFY(std::abs(beep.samples.back()) < 0.01f);
    }
};

QTEST_APPLESS_MAIN(TestClipConvert)
#include "tst_clip_convert.moc"
