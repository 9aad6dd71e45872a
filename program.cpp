#include "program.h"

#include "core/beat_rules.h"
#include "platform/program_folder.h"

Program::Program()
    : metronome(sound, core::soundPath(platform::programFolder(), platform::pathSeparator())),
      window(metronome)
{
    QObject::connect(&sound, &platform::Sound::heard, &metronome, &core::Metronome::beatHeard);
}
