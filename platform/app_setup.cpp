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

bool displayAvailable()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // Qt reads the platform from QT_QPA_PLATFORM (offscreen, xcb, wayland); without it a
    // window needs an X or Wayland display.
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM") ||
        qEnvironmentVariableIsSet("WAYLAND_DISPLAY"))
        return true;
    const QString display = qEnvironmentVariable("DISPLAY");
    if (display.isEmpty())
        return false;
    // A local X display (":0", ":1.0") is there when its socket is; a remote one is trusted.
    static const QRegularExpression local(QStringLiteral("^:(\\d+)(\\.\\d+)?$"));
    const QRegularExpressionMatch match = local.match(display);
    return !match.hasMatch() ||
           QFileInfo::exists(QStringLiteral("/tmp/.X11-unix/X") + match.captured(1));
#else
    return true;
#endif
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

void loadItalianTranslations(QApplication &app)
{
    auto *translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::Italian, QLocale::Italy), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(translator);
    else
        delete translator;
}

} // namespace

void setUpApplication(QApplication &app)
{
    QApplication::setApplicationName(QStringLiteral("Cadrel"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    substituteFonts();
    loadItalianTranslations(app);
}

} // namespace platform
