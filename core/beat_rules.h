#pragma once

#include <QString>
#include <QStringView>
#include <string>

// The small rules behind a beat: the count, the caption, the click's path.
namespace core {

// The count after one more beat. The count is decimal text and is advanced as text, digit by
// digit, so it never rounds or overflows however long the program runs ("9" gives "10",
// "18446744073709551615" gives "18446744073709551616"). Only the leading digits count.
QString advanceCount(QStringView count);

// The window caption after a beat: the count while minimised, the window's name otherwise.
QString beatCaption(bool minimised, QStringView count);

// The click's path: the folder as reported, the separator and the file name, even when the
// folder already ends with a separator (at the root of a drive or file system). Paths are the
// file system's own bytes.
std::string soundPath(const std::string &folder, char separator);

} // namespace core
