#include "platform/sound/clip_convert.h"
#include "platform/sound/wave_decoder.h"
#include "wave_bytes.h"

#include <cmath>
#include <QTest>

using Bytes = std::vector<std::uint8_t>;
using Samples = std::vector<float>;

class TestWaveDecoder : public QObject
{
    Q_OBJECT

private slots:
    void decodesFormats_data();
    void decodesFormats();
    void rejectsDamagedFiles_data();
    void rejectsDamagedFiles();
    void readsTruncatedDataAsFarAsItGoes();
    void convertsRateKeepingTheAttackOnFrameZero();
    void mapsChannels();
    void defaultBeepIsSoftAndShort();
};

void TestWaveDecoder::decodesFormats_data()
{
    QTest::addColumn<Bytes>("file");
    QTest::addColumn<int>("channels");
    QTest::addColumn<int>("rate");
    QTest::addColumn<Samples>("expected");
    using cadrel_test::waveBytes;
    // Each row codes full scale up, half scale down and zero in its own sample layout.
    QTest::newRow("pcm 8-bit unsigned")
        << waveBytes(1, 1, 8000, 8, {255, 64, 128}) << 1 << 8000 << Samples{127 / 128.0f, -0.5f, 0};
    QTest::newRow("pcm 16-bit") << waveBytes(1, 1, 48000, 16, {0xFF, 0x7F, 0x00, 0xC0, 0, 0}) << 1
                                << 48000 << Samples{32767 / 32768.0f, -0.5f, 0};
    QTest::newRow("pcm 24-bit") << waveBytes(1, 1, 44100, 24,
                                             {0xFF, 0xFF, 0x7F, 0x00, 0x00, 0xC0, 0, 0, 0})
                                << 1 << 44100 << Samples{8388607 / 8388608.0f, -0.5f, 0};
    QTest::newRow("pcm 32-bit") << waveBytes(1, 1, 96000, 32,
                                             {0, 0, 0, 0x40, 0, 0, 0, 0xC0, 0, 0, 0, 0})
                                << 1 << 96000 << Samples{0.5f, -0.5f, 0};
    QTest::newRow("float 32-bit") << waveBytes(3, 1, 22050, 32,
                                               {0, 0, 0x80, 0x3F, 0, 0, 0, 0xBF, 0, 0, 0, 0})
                                  << 1 << 22050 << Samples{1.0f, -0.5f, 0};
    QTest::newRow("float 64-bit") << waveBytes(3, 1, 48000, 64,
                                               {0, 0, 0, 0, 0, 0, 0xE0, 0xBF, 0, 0, 0, 0, 0, 0,
                                                0xD0, 0x3F})
                                  << 1 << 48000 << Samples{-0.5f, 0.25f};
    QTest::newRow("extensible 16-bit stereo")
        << waveBytes(0xFFFE, 2, 48000, 16, {0x00, 0x40, 0x00, 0xC0}, 1) << 2 << 48000
        << Samples{0.5f, -0.5f};
    QTest::newRow("extensible float")
        << waveBytes(0xFFFE, 1, 48000, 32, {0, 0, 0x80, 0x3E}, 3) << 1 << 48000 << Samples{0.25f};
}

void TestWaveDecoder::decodesFormats()
{
    QFETCH(Bytes, file);
    QFETCH(int, channels);
    QFETCH(int, rate);
    QFETCH(Samples, expected);
    const auto clip = platform::decodeWave(file);
    QVERIFY(clip.has_value());
    QCOMPARE(clip->channels, channels);
    QCOMPARE(clip->rate, rate);
    QCOMPARE(clip->samples.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        QVERIFY2(std::abs(clip->samples[i] - expected[i]) < 1e-6f, qPrintable(QString::number(i)));
}

void TestWaveDecoder::rejectsDamagedFiles_data()
{
    QTest::addColumn<Bytes>("file");
    using cadrel_test::waveBytes;
    const Bytes good = waveBytes(1, 1, 48000, 16, {0, 0});
    QTest::newRow("empty") << Bytes{};
    QTest::newRow("not riff") << Bytes(good.size(), 0x41);
    QTest::newRow("header only") << Bytes(good.begin(), good.begin() + 12);
    QTest::newRow("cut inside fmt") << Bytes(good.begin(), good.begin() + 30);
    QTest::newRow("compressed (a-law)") << waveBytes(6, 1, 8000, 8, {0, 0});
    QTest::newRow("12-bit pcm") << waveBytes(1, 1, 8000, 12, {0, 0});
    QTest::newRow("no channels") << waveBytes(1, 0, 48000, 16, {0, 0});
    QTest::newRow("six channels") << waveBytes(1, 6, 48000, 16, Bytes(12, 0));
    QTest::newRow("extensible mp3") << waveBytes(0xFFFE, 1, 48000, 16, {0, 0}, 0x55);
    Bytes noData = good;
    std::memcpy(noData.data() + 36, "junk", 4);
    QTest::newRow("no data chunk") << noData;
}

void TestWaveDecoder::rejectsDamagedFiles()
{
    QFETCH(Bytes, file);
    QVERIFY(!platform::decodeWave(file).has_value());
}

void TestWaveDecoder::readsTruncatedDataAsFarAsItGoes()
{
    Bytes file = cadrel_test::wave16(48000, {0.5f, 0.5f, 0.5f, 0.5f});
    file.resize(file.size() - 3); // one and a half samples missing
    const auto clip = platform::decodeWave(file);
    QVERIFY(clip.has_value());
    QCOMPARE(clip->frames(), std::size_t(2));
}

void TestWaveDecoder::convertsRateKeepingTheAttackOnFrameZero()
{
    platform::PcmClip clip{24000, 1, {1.0f, 0.0f, -1.0f, 0.0f}};
    const auto up = platform::convertClip(clip, 48000, 1);
    QCOMPARE(up.rate, 48000);
    const Samples expected{1.0f, 0.5f, 0.0f, -0.5f, -1.0f, -0.5f, 0.0f};
    QCOMPARE(up.samples, expected);
    const auto down =
        platform::convertClip(platform::PcmClip{96000, 1, Samples(96, 0.25f)}, 48000, 1);
    QCOMPARE(down.frames(), std::size_t(48));
    QCOMPARE(down.samples.front(), 0.25f);
}

void TestWaveDecoder::mapsChannels()
{
    const auto stereo = platform::convertClip(platform::PcmClip{48000, 1, {0.5f}}, 48000, 2);
    QCOMPARE(stereo.samples, (Samples{0.5f, 0.5f}));
    const auto mono = platform::convertClip(platform::PcmClip{48000, 2, {0.5f, -0.1f}}, 48000, 1);
    QCOMPARE(mono.samples, (Samples{0.2f}));
    const auto surround =
        platform::convertClip(platform::PcmClip{48000, 2, {0.5f, -0.1f}}, 48000, 4);
    QCOMPARE(surround.samples, (Samples{0.5f, -0.1f, 0.0f, 0.0f}));
}

void TestWaveDecoder::defaultBeepIsSoftAndShort()
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

QTEST_APPLESS_MAIN(TestWaveDecoder)
#include "tst_wave_decoder.moc"
