#pragma once

#include <cstdint>
#include <optional>
#include <QString>
#include <QStringView>

namespace core {

// Plain decimal digits: no grouping, no sign or leading space for positive values.
QString toDecimalText(std::int64_t value);

// The ASCII digits a text begins with ("12ab" gives "12", "ab" gives "").
QStringView leadingDigits(QStringView text);

// Reads a whole decimal number: ASCII digits only, leading zeros allowed ("070" is 70), blanks
// around it ignored. Anything else (a sign, a point, letters, other scripts' digits, an empty
// text, a value beyond 32 bits) is no number at all.
std::optional<std::int32_t> toInt32(QStringView text);

} // namespace core
