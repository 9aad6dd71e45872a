#include "core/decimal_text.h"

#include <limits>

namespace core {

QString toDecimalText(std::int64_t value)
{
    return QString::number(value);
}

QStringView leadingDigits(QStringView text)
{
    qsizetype digits = 0;
    while (digits < text.size() && text[digits] >= u'0' && text[digits] <= u'9')
        ++digits;
    return text.first(digits);
}

std::optional<std::int32_t> toInt32(QStringView text)
{
    const QStringView digits = text.trimmed();
    if (digits.isEmpty() || leadingDigits(digits).size() != digits.size())
        return std::nullopt;
    std::int64_t value = 0;
    for (const QChar c : digits) {
        value = value * 10 + (c.unicode() - u'0');
        if (value > std::numeric_limits<std::int32_t>::max())
            return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

} // namespace core
