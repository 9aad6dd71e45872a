#include "platform/platform_failure.h"

#include <cstdio>
#include <cstdlib>
#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

namespace platform {
namespace {

struct Held {
    QtMsgType type;
    QByteArray file, function, category;
    int line;
    QString message;
};

QtMessageHandler previous = nullptr;
const char *programName = "cadrel";
QList<Held> *held = nullptr;

void whileStarting(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtFatalMsg) {
        held->append(
            {type, context.file, context.function, context.category, context.line, message});
        return;
    }
    // Qt's own reason is the first thing it said: the display it could not reach, or the
    // plugin it could not find.
    const QString reason =
        held->isEmpty() ? message.section(QLatin1Char('\n'), 0, 0) : held->first().message;
    std::fprintf(stderr,
                 "Ritmolino non può mostrare la sua finestra: lo schermo o la piattaforma grafica "
                 "indicati non si possono usare (%s).\nAvviarlo da una sessione grafica, o con "
                 "uno schermo virtuale: xvfb-run -a %s\n",
                 qPrintable(reason), programName);
    std::fflush(stderr);
    std::_Exit(1);
}

} // namespace

PlatformFailureGuard::PlatformFailureGuard(const char *program)
{
    programName = program;
    held = new QList<Held>;
    previous = qInstallMessageHandler(&whileStarting);
}

PlatformFailureGuard::~PlatformFailureGuard()
{
    qInstallMessageHandler(previous);
    for (const Held &m : *held) {
        const QMessageLogContext context(m.file.constData(), m.line, m.function.constData(),
                                         m.category.constData());
        qt_message_output(m.type, context, m.message);
    }
    delete held;
    held = nullptr;
}

} // namespace platform
