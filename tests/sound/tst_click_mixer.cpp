#include "platform/sound/click_mixer.h"

#include <memory>
#include <QTest>
#include <vector>

using platform::ClickMixer;
using platform::PcmClip;

namespace {

// A clip of `frames` frames of the constant `level`, mono.
std::shared_ptr<const PcmClip> flatClip(int frames, float level)
{
    return std::make_shared<const PcmClip>(PcmClip{48000, 1, std::vector<float>(frames, level)});
}

// Runs the mixer over `total` frames in buffers of `buffer` frames, like the audio callback.
struct MixerRig {
    platform::RequestQueue requests;
    platform::ReturnQueue returns;
    ClickMixer mixer{requests, returns, 1, 48};
    std::vector<float> out;
    std::int64_t written = 0;
    std::uint64_t serial = 0;

    void request(const std::shared_ptr<const PcmClip> &clip, std::int64_t onset)
    {
        QVERIFY(requests.push({new std::shared_ptr<const PcmClip>(clip), onset, ++serial}));
    }
    void render(int total, int buffer)
    {
        std::vector<float> chunk(buffer);
        for (int done = 0; done < total; done += buffer) {
            mixer.render(chunk.data(), buffer, written);
            written += buffer;
            out.insert(out.end(), chunk.begin(), chunk.end());
        }
    }
    int collect()
    {
        int n = 0;
        std::shared_ptr<const PcmClip> *held = nullptr;
        while (returns.pop(held)) {
            delete held;
            ++n;
        }
        return n;
    }
    ~MixerRig()
    {
        mixer.releaseAll();
        collect();
        platform::ClickRequest r;
        while (requests.pop(r))
            delete r.clip;
    }
};

std::int64_t firstSound(const std::vector<float> &out, std::int64_t from = 0)
{
    for (auto i = std::size_t(from); i < out.size(); ++i)
        if (out[i] != 0.0f)
            return std::int64_t(i);
    return -1;
}

} // namespace

class TestClickMixer : public QObject
{
    Q_OBJECT

private slots:
    void startsOnTheExactFrame_data();
    void startsOnTheExactFrame();
    void newClickCutsTheOldOneWithAShortFade();
    void lateRequestStartsAtOnce();
    void finishedClipsAreHandedBack();
};

void TestClickMixer::startsOnTheExactFrame_data()
{
    QTest::addColumn<int>("buffer");
    QTest::addColumn<std::int64_t>("onset");
    QTest::newRow("inside the first buffer") << 256 << std::int64_t(37);
    QTest::newRow("on a buffer boundary") << 256 << std::int64_t(512);
    QTest::newRow("just before a boundary") << 504 << std::int64_t(1007);
    QTest::newRow("odd buffer size") << 333 << std::int64_t(1000);
    QTest::newRow("many buffers ahead") << 64 << std::int64_t(4321);
}

void TestClickMixer::startsOnTheExactFrame()
{
    QFETCH(int, buffer);
    QFETCH(std::int64_t, onset);
    MixerRig rig;
    rig.request(flatClip(100, 0.5f), onset);
    rig.render(6000, buffer);
    QCOMPARE(firstSound(rig.out), onset);
    QCOMPARE(rig.out[std::size_t(onset) + 99], 0.5f);
    QCOMPARE(rig.out[std::size_t(onset) + 100], 0.0f);
    QCOMPARE(rig.mixer.stats().started, std::int64_t(1));
}

void TestClickMixer::newClickCutsTheOldOneWithAShortFade()
{
    MixerRig rig;
    rig.request(flatClip(1000, 0.5f), 100);
    rig.request(flatClip(1000, 0.25f), 400);
    rig.render(2048, 128);
    QCOMPARE(rig.out[399], 0.5f);
    // From frame 400 the new clip sounds and the old one fades out within 48 frames (1 ms).
    QVERIFY(rig.out[400] <= 0.75f && rig.out[400] > 0.25f);
    for (int i = 401; i < 448; ++i)
        QVERIFY2(rig.out[i] <= rig.out[i - 1], qPrintable(QString::number(i)));
    for (int i = 448; i < 1400; ++i)
        QCOMPARE(rig.out[i], 0.25f);
    QCOMPARE(rig.out[1400], 0.0f);
    const auto stats = rig.mixer.stats();
    QCOMPARE(stats.started, std::int64_t(2));
    QCOMPARE(stats.cut, std::int64_t(1));
}

void TestClickMixer::lateRequestStartsAtOnce()
{
    MixerRig rig;
    rig.render(1024, 256);
    rig.request(flatClip(10, 0.5f), 300); // its frame is already written
    rig.render(256, 256);
    QCOMPARE(firstSound(rig.out), std::int64_t(1024));
    QCOMPARE(rig.mixer.stats().late, std::int64_t(1));
    rig.request(flatClip(10, 0.25f), platform::kAsap); // no time at all
    rig.render(256, 256);
    QCOMPARE(firstSound(rig.out, 1100), std::int64_t(1280));
    QCOMPARE(rig.out[1280], 0.25f);
    QCOMPARE(rig.mixer.stats().late, std::int64_t(1));
    QCOMPARE(rig.mixer.stats().started, std::int64_t(2));
}

void TestClickMixer::finishedClipsAreHandedBack()
{
    MixerRig rig;
    const auto clip = flatClip(10, 0.5f);
    for (int i = 0; i < 5; ++i)
        rig.request(clip, 1000 * i);
    rig.render(3000, 500);
    QCOMPARE(rig.collect(), 3);    // the clips that have played out (the third ends in this buffer)
    QCOMPARE(clip.use_count(), 3); // ours and the two still queued
    rig.render(2000, 500);
    QCOMPARE(rig.collect(), 2);
    QCOMPARE(clip.use_count(), 1);
}

QTEST_APPLESS_MAIN(TestClickMixer)
#include "tst_click_mixer.moc"
