// Where the window is shown: through XWayland on a Wayland desktop, unless the user chose a
// platform or no X server is there.
#include "platform/app_setup.h"

#include <QTest>

class TestPlatformChoice : public QObject
{
    Q_OBJECT

private slots:
    void choosesFromTheEnvironmentAndTheCommandLine_data()
    {
        QTest::addColumn<bool>("wayland"); // WAYLAND_DISPLAY is set
        QTest::addColumn<bool>("x");       // DISPLAY is set (a remote display is taken to be there)
        QTest::addColumn<QByteArray>("argument");
        QTest::addColumn<QByteArray>("platform");
        const QByteArray none;
        // clang-format off
        QTest::newRow("X11 desktop: Qt's choice") << false << true << none << none;
        QTest::newRow("Wayland desktop: XWayland") << true << true << none << QByteArray("xcb");
        QTest::newRow("Wayland without an X server") << true << false << none << none;
        QTest::newRow("-platform offscreen") << true << true << QByteArray("-platform") << none;
        QTest::newRow("--platform=offscreen")
            << true << true << QByteArray("--platform=offscreen") << none;
        // clang-format on
    }
    void choosesFromTheEnvironmentAndTheCommandLine()
    {
        QFETCH(bool, wayland);
        QFETCH(bool, x);
        QFETCH(QByteArray, argument);
        QFETCH(QByteArray, platform);
        qunsetenv("QT_QPA_PLATFORM");
        qunsetenv("XDG_SESSION_TYPE");
        wayland ? qputenv("WAYLAND_DISPLAY", "wayland-0") : qunsetenv("WAYLAND_DISPLAY");
        x ? qputenv("DISPLAY", "elsewhere:0") : qunsetenv("DISPLAY");
        char program[] = "cadrel";
        QByteArray copy = argument;
        char *argv[] = {program, copy.data(), nullptr};
        platform::choosePlatform(argument.isEmpty() ? 1 : 2, argv);
        QCOMPARE(qgetenv("QT_QPA_PLATFORM"), platform);
    }
};

QTEST_APPLESS_MAIN(TestPlatformChoice)
#include "tst_platform_choice.moc"
