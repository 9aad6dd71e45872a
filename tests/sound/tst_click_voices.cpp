// The clicks of one stream: each sounds from its frame, is cut with a short fade where the next
// starts, and what the stream holds can be written again, piece by piece, without a click taken
// back and with the tail of the click before it sounding on.
#include "platform/sound/click_voices.h"

#include <QTest>

using platform::ClickVoices;

namespace {

// A mono clip whose sample k is 1 + k: where a clip's frames land shows in the output.
std::shared_ptr<const platform::PcmClip> ramp(int frames)
{
    auto clip = std::make_shared<platform::PcmClip>();
    clip->rate = 48000;
    clip->channels = 1;
    for (int k = 0; k < frames; ++k)
        clip->samples.push_back(float(1 + k));
    return clip;
}

std::vector<float> rendered(const ClickVoices &voices, std::int64_t from, int frames, int piece)
{
    std::vector<float> out(std::size_t(frames), -1.0f);
    for (int at = 0; at < frames; at += piece)
        voices.render(out.data() + at, std::min(piece, frames - at), from + at);
    return out;
}

} // namespace

class TestClickVoices : public QObject
{
    Q_OBJECT

private slots:
    void rendersTheSameInAnyPieces_data()
    {
        QTest::addColumn<int>("piece");
        QTest::newRow("one frame") << 1;
        QTest::newRow("7 frames") << 7;
        QTest::newRow("a quantum of 128") << 128;
    }

    void rendersTheSameInAnyPieces()
    {
        QFETCH(int, piece);
        ClickVoices voices(1, 4);
        voices.add(ramp(300), 100);
        voices.add(ramp(300), 350);
        const auto whole = rendered(voices, 0, 1000, 1000);
        QCOMPARE(rendered(voices, 0, 1000, piece), whole);
        QCOMPARE(whole[99], 0.0f);
        QCOMPARE(whole[100], 1.0f);
        QCOMPARE(whole[349], 250.0f);
        QCOMPARE(whole[649], 300.0f);
        QCOMPARE(whole[650], 0.0f);
        QCOMPARE(voices.silentFrom(), std::int64_t(650));
    }

    void cutsAClickWithAFadeWhereTheNextStarts()
    {
        ClickVoices voices(1, 4);
        voices.add(ramp(1000), 0);
        voices.add(ramp(10), 100);
        const auto out = rendered(voices, 95, 10, 10);
        // Frames 100-103 fade the first clip out under the second's start; from 104 on, only the
        // second sounds.
        QCOMPARE(out[4], 100.0f);
        QVERIFY(out[5] > 1.0f && out[5] < 1.0f + 101.0f);
        QVERIFY(out[6] - 2.0f < out[5] - 1.0f);
        QCOMPARE(out[9], 5.0f);
    }

    void takingBackLetsTheClickBeforeSoundOn()
    {
        ClickVoices voices(1, 4);
        voices.add(ramp(1000), 0);
        voices.add(ramp(10), 100);
        voices.add(ramp(10), 500);
        QCOMPARE(voices.takeBackFrom(101), std::optional<std::int64_t>(500));
        QCOMPARE(voices.takeBackFrom(100), std::optional<std::int64_t>(100));
        QCOMPARE(voices.takeBackFrom(0), std::optional<std::int64_t>(0));
        QCOMPARE(voices.takeBackFrom(0), std::nullopt);

        ClickVoices kept(1, 4);
        kept.add(ramp(1000), 0);
        kept.add(ramp(10), 100);
        kept.takeBackFrom(50);
        QCOMPARE(rendered(kept, 100, 5, 5), (std::vector<float>{101, 102, 103, 104, 105}));
        kept.forgetEndedBy(999);
        QCOMPARE(kept.onsets(), std::vector<std::int64_t>{0});
        kept.forgetEndedBy(1000);
        QVERIFY(kept.onsets().empty());
    }
};

QTEST_APPLESS_MAIN(TestClickVoices)
#include "tst_click_voices.moc"
