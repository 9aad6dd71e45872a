// Where the window is shown: through XWayland on a Wayland desktop, unless the user chose a
// platform or no X server is there.
#include "platform/app_setup.h"

#include <QTest>

class TestPlatformChoice : public QObject
{
    Q_OBJECT

private slots:
    void rule_data()
    {
        QTest::addColumn<bool>("chosen");
        QTest::addColumn<bool>("wayland");
        QTest::addColumn<bool>("x");
        QTest::addColumn<QByteArray>("platform");
        QTest::newRow("X11 desktop: Qt's choice") << false << false << true << QByteArray();
        QTest::newRow("Wayland desktop: XWayland") << false << true << true << QByteArray("xcb");
        QTest::newRow("Wayland without an X server") << false << true << false << QByteArray();
        QTest::newRow("the user chose") << true << true << true << QByteArray();
    }
    void rule()
    {
        QFETCH(bool, chosen);
        QFETCH(bool, wayland);
        QFETCH(bool, x);
        QFETCH(QByteArray, platform);
        QCOMPARE(QByteArray(platform::platformFor({chosen, wayland, x})), platform);
    }

    void readsTheEnvironmentAndTheCommandLine_data()
    {
        QTest::addColumn<QByteArray>("argument");
        QTest::addColumn<QByteArray>("platform");
        QTest::newRow("no argument") << QByteArray() << QByteArray("xcb");
        QTest::newRow("-platform offscreen") << QByteArray("-platform") << QByteArray();
        QTest::newRow("--platform=offscreen") << QByteArray("--platform=offscreen") << QByteArray();
    }
    void readsTheEnvironmentAndTheCommandLine()
    {
        QFETCH(QByteArray, argument);
        QFETCH(QByteArray, platform);
        qunsetenv("QT_QPA_PLATFORM");
        qputenv("WAYLAND_DISPLAY", "wayland-0");
        qputenv("DISPLAY", "elsewhere:0"); // a remote X server is taken to be there
        char program[] = "cadrel";
        QByteArray copy = argument;
        char *argv[] = {program, copy.data(), nullptr};
        platform::choosePlatform(argument.isEmpty() ? 1 : 2, argv);
        QCOMPARE(qgetenv("QT_QPA_PLATFORM"), platform);
    }
};

QTEST_APPLESS_MAIN(TestPlatformChoice)
#include "tst_platform_choice.moc"
