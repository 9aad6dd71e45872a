#include "program.h"

#include "platform/program_folder.h"

Program::Program()
    : metronome(beatTimer, sound,
                core::soundPath(platform::programFolder(), platform::pathSeparator())),
      window(metronome)
{
    QObject::connect(&beatTimer, &platform::PeriodicTimer::tick, &metronome,
                     &core::Metronome::tick);
}
