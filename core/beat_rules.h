#pragma once

#include <QString>
#include <QStringView>
#include <string>

// The small rules behind a beat and what shows it: the count, the captions, the click's path,
// and the count's parity, which the pendulum and the light follow.
namespace core {

// The count after one more beat. The count is decimal text and is advanced as text, digit by
// digit, so it never rounds or overflows however long the program runs ("9" gives "10",
// "18446744073709551615" gives "18446744073709551616"). Only the leading digits count.
QString advanceCount(QStringView count);

// The window's caption after a beat while minimised: the program's name and the count. (Shown,
// the window's caption is its design caption.)
QString minimisedCaption(QStringView count);

// The click's path: the folder as reported, the separator and the file name, even when the
// folder already ends with a separator (at the root of a drive or file system). Paths are the
// file system's own bytes.
std::string soundPath(const std::string &folder, char separator);

// Whether the count's leading whole number is odd: each beat swings the pendulum the other way.
bool isOddCount(QStringView count);

} // namespace core
