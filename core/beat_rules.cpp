#include "core/beat_rules.h"

#include "core/decimal_text.h"

namespace core {

QString advanceCount(QStringView count)
{
    QString next = leadingDigits(count).toString();
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

QString minimisedCaption(QStringView count)
{
    return QStringLiteral("Cadrel ") + count.toString();
}

std::string soundPath(const std::string &folder, char separator)
{
    return folder + separator + "sn.wav";
}

// The parity of the count's leading whole number is that of its last leading digit, so a count
// of any length is read without converting it to a number that could overflow.
bool isOddCount(QStringView count)
{
    const QStringView digits = leadingDigits(count.trimmed());
    return !digits.isEmpty() && (digits.back().unicode() - u'0') % 2 == 1;
}

} // namespace core
