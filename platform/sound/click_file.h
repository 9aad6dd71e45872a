#pragma once

#include "platform/sound/pcm_clip.h"

#include <string>
#include <sys/stat.h>

namespace platform {

// What reading a click file gave: its sound, or why it has none.
struct ClickFile {
    PcmClip clip;        // at the file's own rate; one or two channels
    std::string problem; // why the file cannot be played, in Italian; empty when it can
    struct stat status {
    }; // of the file as opened; zeros when it could not be opened
};

// Why a file of this mode is no regular file, in Italian.
const char *notRegularFile(mode_t mode);

// Reads the first `seconds` of sound of the file at `path` through libsndfile: a wave file in
// any encoding a desktop player plays (PCM 8 to 32 bits, float, µ-law, A-law, IMA and MS
// ADPCM, GSM 6.10), with any amount of metadata before its data, or any other sound file
// libsndfile reads (AIFF, FLAC, Ogg...). Only the frames kept are read, however long the file.
//
// The file is opened without blocking and read only when it is a regular file: a named pipe
// or a device cannot hold up the caller. Mono and stereo are kept as they are; more than two
// channels are averaged into one as they are read (see convertClip()), so that a clip never
// takes more memory than a stereo one.
ClickFile readClickFile(const std::string &path, double seconds);

} // namespace platform
