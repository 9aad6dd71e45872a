#include "core/beat_rules.h"

#include "core/metronome.h"

namespace core {

QString advanceCount(QStringView count)
{
    qsizetype digits = 0;
    while (digits < count.size() && count[digits] >= u'0' && count[digits] <= u'9')
        ++digits;
    QString next = count.first(digits).toString();
    while (next.size() > 1 && next.front() == u'0')
        next.remove(0, 1);
    // Add one from the last digit, carrying over the nines.
    qsizetype i = next.size() - 1;
    for (; i >= 0 && next[i] == u'9'; --i)
        next[i] = u'0';
    if (i >= 0)
        next[i] = QChar(next[i].unicode() + 1);
    else
        next.prepend(u'1');
    return next;
}

QString beatCaption(bool minimised, QStringView count)
{
    if (minimised)
        return QStringLiteral("Cadrel") + QStringLiteral(" ") + count.toString();
    return QStringLiteral("Ritmolino");
}

QString startStopCaption(RunState state)
{
    return state == RunState::Running ? QStringLiteral("&Disabilita") : QStringLiteral("&Abilita");
}

std::string soundPath(const std::string &folder, char separator)
{
    return folder + separator + "sn.wav";
}

// The parity of the count's leading whole number is that of its last leading digit, so a count
// of any length is read without converting it to a number that could overflow.
Pose poseForCount(QStringView count)
{
    qsizetype digits = 0;
    while (digits < count.size() && count[digits].isSpace())
        ++digits;
    QChar last = u'0';
    for (; digits < count.size() && count[digits] >= u'0' && count[digits] <= u'9'; ++digits)
        last = count[digits];
    return (last.unicode() - u'0') % 2 == 1 ? kOddCount : kEvenCount;
}

} // namespace core
