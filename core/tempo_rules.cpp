#include "core/tempo_rules.h"

#include "platform/conversions.h"

#include <cmath>

namespace core {

int beatIntervalMs(int tempo)
{
    return static_cast<int>(std::floor(60000.0 / double(tempo)));
}

double beatPeriodMs(int tempo)
{
    return 60000.0 / double(tempo);
}

QString tempoCaption(int tempo)
{
    return QStringLiteral("Bpm ") + QStringLiteral(" ") + platform::toDecimalText(tempo);
}

void filterTempoKey(std::int16_t &keyAscii)
{
    constexpr std::int16_t backspace = 8;
    if ((keyAscii > '9' || keyAscii < '0') && keyAscii != backspace)
        keyAscii = 0;
}

std::optional<int> tempoFromText(QStringView text, int slowest, int fastest)
{
    const auto number = platform::toInt32(text);
    if (!number || *number < slowest || *number > fastest)
        return std::nullopt;
    return *number;
}

} // namespace core
