#include "platform/app_setup.h"

#include <QApplication>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QStyleFactory>
#include <QTranslator>

namespace platform {

namespace {

// A local X display (":0", ":1.0") is there when its socket is; a remote one is trusted.
bool xServerReachable()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    const QString display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty())
        return false;
    static const QRegularExpression local(QStringLiteral("^:(\\d+)(\\.\\d+)?$"));
    const QRegularExpressionMatch match = local.match(display);
    return !match.hasMatch() ||
           QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X") + match.captured(1));
#else
    return true;
#endif
}

bool platformChosen(int argc, char **argv)
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return true;
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "-platform" || arg == "--platform" || arg.startsWith("-platform=") ||
            arg.startsWith("--platform="))
            return true;
    }
    return false;
}

} // namespace

bool displayAvailable(int argc, char **argv)
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // A platform chosen by the user (offscreen, xcb, wayland) is the user's to judge; without
    // one, a window needs an X or Wayland display.
    return platformChosen(argc, argv) || qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           xServerReachable();
#else
    return true;
#endif
}

const char *platformFor(const DisplaySetting &setting)
{
    if (setting.platformChosen || !setting.waylandSession || !setting.xServerReachable)
        return nullptr;
    return "xcb";
}

void choosePlatform(int argc, char **argv)
{
    DisplaySetting setting;
    setting.platformChosen = platformChosen(argc, argv);
    setting.waylandSession = qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
                             qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
    setting.xServerReachable = xServerReachable();
    if (const char *platform = platformFor(setting))
        qputenv("QT_QPA_PLATFORM", platform);
}

namespace {

void substituteFonts()
{
    // Liberation Sans has the metrics of Arial, and is the closest match to MS Sans Serif that
    // a Linux desktop ships, so captions fit their controls as designed.
    const QStringList families = QFontDatabase::families();
    for (const char *design : {"MS Sans Serif", "Arial"}) {
        if (!families.contains(QLatin1String(design), Qt::CaseInsensitive))
            QFont::insertSubstitutions(QLatin1String(design),
                                       {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                                        QStringLiteral("DejaVu Sans")});
    }
}

} // namespace

void installItalianTranslations(QCoreApplication &app)
{
    auto *translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::Italian, QLocale::Italy), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

void setUpApplication(QApplication &app)
{
    QApplication::setApplicationName(QStringLiteral("Cadrel"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    substituteFonts();
    installItalianTranslations(app);
}

} // namespace platform
