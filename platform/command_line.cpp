#include "platform/command_line.h"

#include "platform/app_setup.h"

#include <cstdio>
#include <QCommandLineParser>
#include <QCoreApplication>

namespace platform {
namespace {

// Qt's own options, which its application object takes from the command line itself.
constexpr const char *kQtOptionsWithValue[] = {
    "platform",    "platformpluginpath", "platformtheme",
    "plugin",      "qmljsdebugger",      "qwindowgeometry",
    "qwindowicon", "qwindowtitle",       "session",
    "display",     "geometry",           "name",
    "style",       "stylesheet",         "dialogs",
    "fontengine"};
constexpr const char *kQtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

void print(std::FILE *to, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), to);
}

} // namespace

std::optional<int> answerCommandLine(int argc, char **argv)
{
    // An application object without a window, for the translations of Qt's own texts.
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("cadrel"));
    QCoreApplication::setApplicationVersion(QStringLiteral(CADREL_VERSION));
    installItalianTranslations(application);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Ritmolino, un metronomo da scrivania. Accetta anche le opzioni di Qt, "
                       "come -platform e -style."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // The program's own two options, described in its own words (Qt's help option would add
    // --help-all, which lists options no window takes).
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Mostra questo aiuto ed esce."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Mostra la versione ed esce."));
    parser.addOption(help);
    parser.addOption(version);
    for (const char *name : kQtOptionsWithValue) {
        QCommandLineOption option(QLatin1String(name), QString(), QStringLiteral("valore"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : kQtFlags) {
        QCommandLineOption option{QString::fromLatin1(name)};
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    const bool parsed = parser.parse(QCoreApplication::arguments());
    QString error = parser.errorText();
    if (parsed && !parser.positionalArguments().isEmpty())
        error =
            QStringLiteral("argomento inatteso: «%1».").arg(parser.positionalArguments().front());
    if (!parsed || !error.isEmpty()) {
        print(stderr, QStringLiteral("cadrel: %1\n").arg(error));
        print(stderr, parser.helpText());
        return 2;
    }
    if (parser.isSet(help)) {
        print(stdout, parser.helpText());
        return 0;
    }
    if (parser.isSet(version)) {
        print(stdout, QStringLiteral("cadrel %1\n").arg(QCoreApplication::applicationVersion()));
        return 0;
    }
    return std::nullopt;
}

} // namespace platform
