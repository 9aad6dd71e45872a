// Reading a click file: every encoding of a wave file a desktop player plays, any channel count,
// any metadata before the sound; and a clear reason for a file that holds no sound.
#include "platform/sound/click_file.h"
#include "wave_bytes.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

using Bytes = std::vector<std::uint8_t>;
using Samples = std::vector<float>;
using cadrel_test::relativeError;
using platform::readClickFile;

class TestClickFile : public QObject
{
    Q_OBJECT

private slots:
    void init() { QVERIFY(dir_.isValid()); }

    void readsEncodings_data()
    {
        QTest::addColumn<int>("encoding");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<double>("tolerance"); // of relativeError()
        // Each encoding at its usual rate; the lossy ones within what they lose.
        QTest::newRow("pcm unsigned 8-bit") << int(SF_FORMAT_PCM_U8) << 22050 << 2 << 0.02;
        QTest::newRow("pcm 16-bit") << int(SF_FORMAT_PCM_16) << 44100 << 2 << 1e-4;
        QTest::newRow("pcm 24-bit") << int(SF_FORMAT_PCM_24) << 48000 << 1 << 1e-6;
        QTest::newRow("pcm 32-bit") << int(SF_FORMAT_PCM_32) << 96000 << 2 << 1e-6;
        QTest::newRow("float") << int(SF_FORMAT_FLOAT) << 48000 << 2 << 1e-7;
        QTest::newRow("double") << int(SF_FORMAT_DOUBLE) << 44100 << 1 << 1e-7;
        QTest::newRow("mu-law") << int(SF_FORMAT_ULAW) << 8000 << 1 << 0.03;
        QTest::newRow("a-law stereo") << int(SF_FORMAT_ALAW) << 8000 << 2 << 0.03;
        QTest::newRow("ima adpcm stereo") << int(SF_FORMAT_IMA_ADPCM) << 44100 << 2 << 0.05;
        QTest::newRow("ms adpcm stereo") << int(SF_FORMAT_MS_ADPCM) << 22050 << 2 << 0.05;
        QTest::newRow("gsm 6.10") << int(SF_FORMAT_GSM610) << 8000 << 1 << 0.3;
        QTest::newRow("3 channels") << int(SF_FORMAT_PCM_16) << 48000 << 3 << 1e-3;
        QTest::newRow("8 channels") << int(SF_FORMAT_PCM_16) << 48000 << 8 << 1e-3;
    }

    // Sines written by libsndfile come back as they were, within what the encoding loses. One or
    // two channels stay as they are; more are averaged into one, none left out.
    void readsEncodings()
    {
        QFETCH(int, encoding);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(double, tolerance);
        const std::size_t frames = std::size_t(rate) / 4;
        const Samples written = cadrel_test::sines(rate, channels, frames);
        QVERIFY(cadrel_test::writeSound(path("click.wav"), SF_FORMAT_WAV | encoding, rate, channels,
                                        written));
        const platform::ClickFile file = readClickFile(path("click.wav"), 10);
        QVERIFY2(file.problem.empty(), file.problem.c_str());
        QCOMPARE(file.clip.rate, rate);
        const int kept = channels <= 2 ? channels : 1;
        QCOMPARE(file.clip.channels, kept);
        // Block codecs fill their last block up.
        if (encoding == SF_FORMAT_PCM_16)
            QCOMPARE(file.clip.frames(), frames);
        QVERIFY(file.clip.frames() >= frames && file.clip.frames() < frames + 2048);
        Samples expected(frames * kept);
        for (std::size_t i = 0; i < frames; ++i)
            for (int c = 0; c < channels; ++c)
                expected[i * kept + c % kept] += written[i * channels + c] * kept / channels;
        const double error = relativeError(file.clip.samples, expected);
        QVERIFY2(error < tolerance, qPrintable(QString::number(error)));
    }

    void readsSampleLayoutsExactly_data()
    {
        QTest::addColumn<Bytes>("file");
        QTest::addColumn<int>("channels");
        QTest::addColumn<Samples>("expected");
        using cadrel_test::waveBytes;
        // Each row codes full scale up, half scale down and zero in its own sample layout.
        QTest::newRow("pcm 8-bit unsigned")
            << waveBytes(1, 1, 8000, 8, {255, 64, 128}) << 1 << Samples{127 / 128.0f, -0.5f, 0};
        QTest::newRow("pcm 24-bit")
            << waveBytes(1, 1, 44100, 24, {0xFF, 0xFF, 0x7F, 0x00, 0x00, 0xC0, 0, 0, 0}) << 1
            << Samples{8388607 / 8388608.0f, -0.5f, 0};
        QTest::newRow("float 64-bit")
            << waveBytes(3, 1, 48000, 64,
                         {0, 0, 0, 0, 0, 0, 0xE0, 0xBF, 0, 0, 0, 0, 0, 0, 0xD0, 0x3F})
            << 1 << Samples{-0.5f, 0.25f};
        QTest::newRow("extensible 16-bit stereo")
            << waveBytes(0xFFFE, 2, 48000, 16, {0x00, 0x40, 0x00, 0xC0}, 1) << 2
            << Samples{0.5f, -0.5f};
        QTest::newRow("extensible float")
            << waveBytes(0xFFFE, 1, 48000, 32, {0, 0, 0x80, 0x3E}, 3) << 1 << Samples{0.25f};
    }

    void readsSampleLayoutsExactly()
    {
        QFETCH(Bytes, file);
        QFETCH(int, channels);
        QFETCH(Samples, expected);
        cadrel_test::writeFile(path("click.wav"), file);
        const platform::ClickFile read = readClickFile(path("click.wav"), 10);
        QVERIFY2(read.problem.empty(), read.problem.c_str());
        QCOMPARE(read.clip.channels, channels);
        QCOMPARE(read.clip.samples.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i)
            QVERIFY2(std::abs(read.clip.samples[i] - expected[i]) < 1e-6f,
                     qPrintable(QString::number(i)));
    }

    void skipsMetadataOfAnySizeBeforeTheSound_data()
    {
        QTest::addColumn<bool>("list");
        QTest::addColumn<int>("size");
        QTest::newRow("junk, 1 MB and odd") << false << 1024 * 1024 + 1;
        QTest::newRow("list, 300 KB and odd") << true << 300 * 1024 + 1;
    }

    void skipsMetadataOfAnySizeBeforeTheSound()
    {
        QFETCH(bool, list);
        QFETCH(int, size);
        const Samples ramp{0.5f, 0.25f, -0.25f, -0.5f, 0.0f};
        cadrel_test::writeFile(path("click.wav"),
                               cadrel_test::withChunkBeforeData(cadrel_test::wave16(48000, ramp),
                                                                list, std::uint32_t(size)));
        const platform::ClickFile file = readClickFile(path("click.wav"), 10);
        QVERIFY2(file.problem.empty(), file.problem.c_str());
        QCOMPARE(file.clip.frames(), ramp.size());
        QVERIFY(relativeError(file.clip.samples, ramp) < 1e-4);
    }

    void saysWhyAFileHoldsNoSound_data()
    {
        QTest::addColumn<QString>("kind"); // "file": a file of these bytes
        QTest::addColumn<Bytes>("bytes");
        QTest::addColumn<QString>("why");
        const Bytes good = cadrel_test::wave16(48000, {0.5f});
        const QString noAudio = "non è un file audio leggibile (";
        QTest::newRow("empty") << "file" << Bytes{} << noAudio;
        QTest::newRow("text") << "file" << Bytes(100000, 'x') << noAudio;
        QTest::newRow("cut inside fmt")
            << "file" << Bytes(good.begin(), good.begin() + 30) << noAudio;
        QTest::newRow("no channels")
            << "file" << cadrel_test::waveBytes(1, 0, 48000, 16, {0, 0}) << noAudio;
        QTest::newRow("rate of 10 Hz")
            << "file" << cadrel_test::waveBytes(1, 1, 10, 16, {0, 0}) << noAudio;
        QTest::newRow("no samples") << "file" << cadrel_test::waveBytes(1, 1, 48000, 16, {})
                                    << "il file non contiene suono";
        QTest::newRow("missing") << "missing" << Bytes{}
                                 << "non si può leggere: " + QString(std::strerror(ENOENT));
        QTest::newRow("a directory") << "directory" << Bytes{} << "è una cartella";
        QTest::newRow("a named pipe nobody writes to") << "pipe" << Bytes{} << "è una pipe";
        QTest::newRow("a device") << "device" << Bytes{} << "è un dispositivo";
        // A regular file whose reading fails, as on a damaged disk.
        QTest::newRow("unreadable")
            << "unreadable" << Bytes{} << "non si può leggere: " + QString(std::strerror(EIO));
    }

    // A reason in Italian, with libsndfile's or the system's own words on what is wrong. Opening a
    // named pipe with no writer would wait for one: it is opened without waiting.
    void saysWhyAFileHoldsNoSound()
    {
        QFETCH(QString, kind);
        QFETCH(Bytes, bytes);
        QFETCH(QString, why);
        std::string file = path(qPrintable(kind + QTest::currentDataTag()));
        if (kind == "file")
            cadrel_test::writeFile(file, bytes);
        else if (kind == "directory")
            QVERIFY(std::filesystem::create_directory(file));
        else if (kind == "pipe")
            QCOMPARE(::mkfifo(file.c_str(), 0600), 0);
        else if (kind == "device")
            file = "/dev/zero";
        else if (kind == "unreadable")
            file = "/proc/self/mem";
        const platform::ClickFile read = readClickFile(file, 10);
        const QString problem = QString::fromStdString(read.problem);
        QVERIFY2(problem.startsWith(why) && !problem.endsWith("()"), qPrintable(problem));
        QCOMPARE(read.clip.frames(), std::size_t(0));
    }

    void readsOnlyTheSecondsKept_data()
    {
        QTest::addColumn<int>("encoding");
        QTest::addColumn<bool>("huge");
        QTest::newRow("pcm 16-bit, a minute") << int(SF_FORMAT_PCM_16) << false;
        QTest::newRow("ima adpcm, a minute") << int(SF_FORMAT_IMA_ADPCM) << false;
        QTest::newRow("pcm 16-bit, 2 GB") << int(SF_FORMAT_PCM_16) << true;
    }

    // Of a long file, the first seconds only. The 2 GB file (sparse after its first minute, its
    // data chunk saying so) would take 4 GB of memory if it were read whole.
    void readsOnlyTheSecondsKept()
    {
        QFETCH(int, encoding);
        QFETCH(bool, huge);
        const std::string file = path("long.wav");
        const Samples written = cadrel_test::sines(8000, 1, 8000 * 60);
        if (huge) {
            constexpr std::uint32_t kSize = 2u << 30;
            Bytes bytes = cadrel_test::wave16(8000, written);
            for (int i = 0; i < 4; ++i) {
                bytes[4 + i] = std::uint8_t((kSize - 8) >> (8 * i));
                bytes[40 + i] = std::uint8_t((kSize - 44) >> (8 * i)); // the data chunk's size
            }
            cadrel_test::writeFile(file, bytes);
            QCOMPARE(::truncate(file.c_str(), off_t(kSize)), 0);
        } else {
            QVERIFY(cadrel_test::writeSound(file, SF_FORMAT_WAV | encoding, 8000, 1, written));
        }
        const platform::ClickFile read = readClickFile(file, 2.5);
        QVERIFY2(read.problem.empty(), read.problem.c_str());
        QCOMPARE(read.clip.frames(), std::size_t(20000));
        const Samples start(written.begin(), written.begin() + 20000);
        QVERIFY(relativeError(read.clip.samples, start) < 0.1);
    }

private:
    std::string path(const char *name) const { return dir_.filePath(name).toStdString(); }
    QTemporaryDir dir_;
};

QTEST_APPLESS_MAIN(TestClickFile)
#include "tst_click_file.moc"
