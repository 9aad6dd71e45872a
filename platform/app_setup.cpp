#include "platform/app_setup.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QStyleFactory>
#include <QTranslator>

namespace platform {

bool displayAvailable()
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // Qt reads the platform from QT_QPA_PLATFORM (offscreen, xcb, wayland); without it a
    // window needs an X or Wayland display.
    return qEnvironmentVariableIsSet("QT_QPA_PLATFORM") || qEnvironmentVariableIsSet("DISPLAY") ||
           qEnvironmentVariableIsSet("WAYLAND_DISPLAY");
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
