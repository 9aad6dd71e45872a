#include "core/tempo_rules.h"

#include "core/decimal_text.h"

namespace core {

double beatPeriodMs(int tempo)
{
    return 60000.0 / double(tempo);
}

QString tempoCaption(QStringView title, int tempo)
{
    return title.toString() + QStringLiteral("  ") + toDecimalText(tempo);
}

void filterTempoKey(std::int16_t &keyAscii)
{
    constexpr std::int16_t backspace = 8;
    if ((keyAscii > '9' || keyAscii < '0') && keyAscii != backspace)
        keyAscii = 0;
}

std::optional<int> tempoFromText(QStringView text)
{
    const auto number = toInt32(text);
    if (!number || *number < kSlowestTempo || *number > kFastestTempo)
        return std::nullopt;
    return *number;
}

} // namespace core
