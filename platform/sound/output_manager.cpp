#include "platform/sound/output_manager.h"

#include "platform/sound/stand_in.h"

#include <algorithm>
#include <cstdio>
#include <thread>

namespace platform {
namespace {

constexpr int kStandIn = 0;
constexpr auto kLook = std::chrono::milliseconds(100);

std::int64_t ns(std::chrono::milliseconds ms)
{
    return std::chrono::nanoseconds(ms).count();
}

// An output given up is closed in a thread of its own: one whose server hangs may take long.
// The engine it fills stays until it is closed.
void closeLater(std::unique_ptr<OutputStream> output, std::shared_ptr<BeatEngine> engine)
{
    if (output)
        std::thread([o = std::move(output), keep = std::move(engine)] { o->close(); }).detach();
}

} // namespace

struct OutputManager::Shared {
    std::shared_ptr<BeatEngine> engine;
    SoundSettings settings;
    StreamMaker makeStreams;
    StandIn standIn;

    mutable std::mutex mutex;
    mutable std::condition_variable poked, looked;
    bool stop = false, wanted = false;
    std::unique_ptr<OutputStream> current; // a real output, under the mutex
    int currentId = -1;
    std::int64_t openedAt = 0;
    int nextId = kStandIn + 1;
    int looksDone = 0;
    Stats stats;
    std::int64_t lastAttempt = 0, wokenAt = 0;
    std::int64_t pausedAt = -1; // the output in use paused, and the stand-in keeps the beat
    bool lost = false;          // the last look found no output
    int dropoutsSaid = 0;       // dropouts of the output in use already said
    bool dryLastLook = false;

    Shared(std::shared_ptr<BeatEngine> e, const SoundSettings &s, StreamMaker m)
        : engine(std::move(e)), settings(s), makeStreams(std::move(m)),
          standIn(*engine, s.rate, s.channels, s.standInLead)
    {}
    void run();
    void look(std::unique_lock<std::mutex> &lock);
    void open(std::unique_lock<std::mutex> &lock);
    void sayDropouts();
};

void OutputManager::Shared::run()
{
    std::unique_lock lock(mutex);
    while (!stop) {
        look(lock);
        poked.wait_for(lock, kLook, [&] { return stop || wanted; });
        wanted = false;
    }
    standIn.close();
    closeLater(std::move(current), engine);
}

// The output in use is given up when it is lost, when it never tells when its sound is heard,
// or when it asks for nothing for long while the beat runs. A pause shorter than that (a busy
// machine, a server held up) hands the beat to the stand-in until the output asks again, and
// then back to it: its stream goes on without being opened again. A missing output is looked
// for at start, then while the beat runs, once per retry interval.
void OutputManager::Shared::look(std::unique_lock<std::mutex> &lock)
{
    const std::int64_t now = monotonicNs();
    if (!current) {
        if (stats.openAttempts == 0 ||
            (engine->running() && now - lastAttempt >= ns(settings.retryEvery)))
            open(lock);
        return;
    }
    // Paused: it has the beat, and has asked for nothing since it was woken, or since it last
    // asked, for a stall. (One yet to take the beat over leaves it with the stand-in anyway.)
    const std::int64_t last = current->lastFillNs();
    const std::int64_t pause = now - std::max(last, wokenAt);
    const bool neverTimed =
        pausedAt < 0 && engine->inUse() != currentId && now - openedAt > ns(settings.answerWithin);
    const bool givenUp = !current->alive() || neverTimed ||
                         (pausedAt >= 0 && engine->running() &&
                          now - std::max(pausedAt, wokenAt) > ns(settings.answerWithin));
    if (!givenUp && pausedAt >= 0 && last > pausedAt) {
        std::fprintf(stderr, "cadrel: l'uscita audio risponde di nuovo\n");
        engine->use(currentId, current->rewrites());
        openedAt = now; // it must tell again when its sound is heard
        pausedAt = -1;
    } else if (!givenUp && pausedAt < 0 && engine->running() && engine->inUse() == currentId &&
               pause > ns(settings.stalledAfter)) {
        std::fprintf(stderr, "cadrel: l'uscita audio non risponde; il battito prosegue in "
                             "silenzio finché torna\n");
        engine->use(kStandIn, true);
        standIn.wake();
        pausedAt = now;
        ++stats.pauses;
    }
    if (!givenUp) {
        current->thread().raise();
        sayDropouts();
        ++stats.watched;
        return;
    }
    std::fprintf(stderr, "cadrel: uscita audio persa; il battito prosegue in silenzio e la si "
                         "cerca di nuovo ogni secondo\n");
    engine->use(kStandIn, true);
    standIn.wake();
    closeLater(std::move(current), engine);
    pausedAt = -1;
    lost = true;
    lastAttempt = now;
}

void OutputManager::Shared::open(std::unique_lock<std::mutex> &lock)
{
    ++stats.openAttempts;
    lock.unlock();
    std::string errors;
    std::unique_ptr<OutputStream> opened;
    const int id = nextId++;
    for (auto &stream : makeStreams()) {
        std::string error;
        if (stream->open(*engine, id, error)) {
            opened = std::move(stream);
            break;
        }
        errors += (errors.empty() ? "" : "; ") + std::string(stream->name()) + ": " + error;
        if (stream->serverStuck())
            break;
    }
    lock.lock();
    lastAttempt = monotonicNs();
    ++looksDone;
    looked.notify_all();
    if (!opened) {
        if (stats.openAttempts == 1)
            std::fprintf(stderr,
                         "cadrel: nessun server audio ha risposto e nessun'altra uscita audio è "
                         "disponibile (%s): il battito prosegue in silenzio. Avviare un server "
                         "audio (PulseAudio o PipeWire), oppure scegliere un'altra uscita con "
                         "SDL_AUDIODRIVER; vedere cadrel(1).\n",
                         errors.c_str());
        lost = true;
        return;
    }
    if (lost && stats.openAttempts > 1)
        std::fprintf(stderr, "cadrel: uscita audio disponibile (%s)\n", opened->name());
    lost = false;
    engine->use(id, opened->rewrites());
    wokenAt = openedAt = monotonicNs();
    currentId = id;
    opened->wake();
    dropoutsSaid = 0;
    current = std::move(opened);
}

// One line for each spell of silence the server played, however many beats it took.
void OutputManager::Shared::sayDropouts()
{
    const int dropouts = current->dropouts();
    const bool dry = dropouts > dropoutsSaid;
    if (dry && !dryLastLook)
        std::fprintf(stderr,
                     "cadrel: il server audio ha suonato silenzio al posto del suono (il computer "
                     "era troppo occupato); i battiti seguenti arrivano più tardi\n");
    stats.dropouts += dropouts - dropoutsSaid;
    dropoutsSaid = dropouts;
    dryLastLook = dry;
}

OutputManager::OutputManager(std::shared_ptr<BeatEngine> engine, const SoundSettings &settings,
                             StreamMaker streams)
    : shared_(std::make_shared<Shared>(std::move(engine), settings, std::move(streams)))
{
    if (!shared_->makeStreams)
        shared_->makeStreams = [settings] { return defaultOutputs(settings); };
    std::string unused;
    shared_->engine->use(kStandIn, true);
    shared_->standIn.open(*shared_->engine, kStandIn, unused);
    // The stand-in has the beat before any output is looked for: an output slow to start
    // must not leave the beat with no output at all. It takes it at its first fill, at once
    // (bounded: it waits for no server).
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (shared_->engine->inUse() != kStandIn && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::thread([shared = shared_] { shared->run(); }).detach();
}

OutputManager::~OutputManager()
{
    const std::lock_guard lock(shared_->mutex);
    shared_->stop = true;
    shared_->poked.notify_all();
}

void OutputManager::wake()
{
    const std::lock_guard lock(shared_->mutex);
    shared_->wokenAt = monotonicNs();
    if (shared_->current)
        shared_->current->wake();
    shared_->standIn.wake();
    shared_->wanted = true;
    shared_->poked.notify_all();
}

void OutputManager::takeBack()
{
    const std::lock_guard lock(shared_->mutex);
    if (shared_->current)
        shared_->current->takeBack();
    shared_->standIn.takeBack();
}

OutputManager::Stats OutputManager::stats() const
{
    const std::lock_guard lock(shared_->mutex);
    Stats s = shared_->stats;
    const auto &current = shared_->current;
    s.deviceOpen = current != nullptr;
    s.output = current ? current->name() : shared_->standIn.name();
    s.realtime = current && current->thread().realtime();
    return s;
}

bool OutputManager::waitForLooks(int looks, std::chrono::milliseconds limit) const
{
    std::unique_lock lock(shared_->mutex);
    return shared_->looked.wait_for(lock, limit, [&] { return shared_->looksDone >= looks; });
}

} // namespace platform
