#pragma once

#include <cstdint>
#include <optional>
#include <QString>
#include <QStringView>

// The small rules behind the tempo: its range, the beat's period, the tempo frame's caption,
// and what may be typed into the tempo box.
namespace core {

// The tempo's range, in beats per minute; the metronome starts at the slowest.
constexpr int kSlowestTempo = 40;
constexpr int kFastestTempo = 250;

// The exact beat period in milliseconds (461.538... at 130), on which the beats are placed so
// that the metronome plays the tempo it shows.
double beatPeriodMs(int tempo);

// The tempo frame's caption once the tempo has changed: its title, two spaces and the tempo
// ("Bpm  40").
QString tempoCaption(QStringView title, int tempo);

// Only digits and backspace may be typed into the tempo box; every other character code is
// replaced by 0, which discards it.
void filterTempoKey(std::int16_t &keyAscii);

// The tempo a text in the tempo box stands for: a whole number within the range, leading zeros
// and surrounding blanks allowed. Anything else is no tempo (a number being typed digit by
// digit, a value out of range, pasted text that is not a whole number).
std::optional<int> tempoFromText(QStringView text);

} // namespace core
