// Watches one pixel of a window on the X server and prints, on CLOCK_MONOTONIC, when its colour
// changes:
//   picture NS 0xRRGGBB
// By default it waits for XDamage events on the window: an event comes as soon as the server
// has drawn into it, and is stamped when this program wakes for it; the pixel is then read
// back to see whether it changed. With --poll it reads the pixel every millisecond instead and
// stamps a change halfway between the read that saw it and the one before.
//
//   cadrel_picture_watch [--name NAME | --window ID] [--x X --y Y] [--poll] [--seconds S]
// NAME defaults to "Ritmolino"; X, Y (in the window) default to a pixel of the beat light that
// no pose of the pendulum crosses (the sound frame hides the light's lower half). The window is
// waited for up to 30 s.
#include "../monotonic_clock.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <X11/extensions/Xdamage.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

volatile std::sig_atomic_t stopRequested = 0;
bool windowGone = false;

int onXError(Display *, XErrorEvent *error)
{
    // A read of an unmapped window fails with BadMatch and is simply tried again later.
    windowGone = windowGone || error->error_code == BadWindow || error->error_code == BadDrawable;
    return 0;
}

Window findByName(Display *display, Window parent, const std::string &name)
{
    char *title = nullptr;
    if (XFetchName(display, parent, &title) && title) {
        const bool match = name == title;
        XFree(title);
        if (match)
            return parent;
    }
    Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display, parent, &root, &up, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && !found; ++i)
        found = findByName(display, children[i], name);
    if (children)
        XFree(children);
    return found;
}

// The pixel's colour as 0xRRGGBB, or -1 when it cannot be read.
long readPixel(Display *display, Window window, int x, int y)
{
    XImage *image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image)
        return -1;
    const unsigned long pixel = XGetPixel(image, 0, 0);
    XDestroyImage(image);
    return long(pixel & 0xFFFFFF); // 24-bit TrueColor: the value is already 0xRRGGBB
}

void report(long long ns, long colour)
{
    std::printf("picture %lld 0x%06lX\n", ns, colour);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    std::string name = "Ritmolino";
    Window window = 0;
    int x = 124, y = 390;
    bool polling = false;
    double seconds = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const char *next = i + 1 < argc ? argv[i + 1] : nullptr;
        if (arg == "--poll") {
            polling = true;
        } else if (next && arg == "--name") {
            name = argv[++i];
        } else if (next && arg == "--window") {
            window = std::strtoul(argv[++i], nullptr, 0);
        } else if (next && arg == "--x") {
            x = std::atoi(argv[++i]);
        } else if (next && arg == "--y") {
            y = std::atoi(argv[++i]);
        } else if (next && arg == "--seconds") {
            seconds = std::atof(argv[++i]);
        } else {
            std::fprintf(stderr,
                         "usage: %s [--name N | --window ID] [--x X --y Y] [--poll] "
                         "[--seconds S]\n",
                         argv[0]);
            return 2;
        }
    }
    std::signal(SIGINT, [](int) { stopRequested = 1; });
    std::signal(SIGTERM, [](int) { stopRequested = 1; });
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "watch: no X display\n");
        return 1;
    }
    XSetErrorHandler(onXError);
    for (int tries = 0; !window && tries < 300 && !stopRequested; ++tries) {
        window = findByName(display, DefaultRootWindow(display), name);
        if (!window)
            usleep(100000);
    }
    if (!window) {
        std::fprintf(stderr, "watch: no window named %s\n", name.c_str());
        return 1;
    }
    int damageEvent = 0, damageError = 0;
    if (!polling && !XDamageQueryExtension(display, &damageEvent, &damageError)) {
        std::fprintf(stderr, "watch: the X server has no DAMAGE extension\n");
        return 1;
    }
    const Damage damage = polling ? 0 : XDamageCreate(display, window, XDamageReportRawRectangles);
    XSync(display, False);
    long last = readPixel(display, window, x, y);
    std::fprintf(stderr, "watch: window 0x%lx, pixel (%d, %d) 0x%06lX, by %s\n", window, x, y, last,
                 polling ? "polling every 1 ms" : "damage events");
    const long long end = seconds > 0 ? monotonicNs() + (long long)(seconds * 1e9) : 0;
    long long previousRead = monotonicNs();
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    while (!stopRequested && !windowGone && (end == 0 || monotonicNs() < end)) {
        if (polling) {
            next.tv_nsec += 1000000;
            if (next.tv_nsec >= 1000000000) {
                next.tv_nsec -= 1000000000;
                ++next.tv_sec;
            }
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
            const long long before = monotonicNs();
            const long colour = readPixel(display, window, x, y);
            const long long read = (before + monotonicNs()) / 2;
            if (colour >= 0 && colour != last)
                report((previousRead + read) / 2, colour);
            if (colour >= 0)
                last = colour;
            previousRead = read;
            continue;
        }
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        if (XPending(display) == 0 && poll(&fd, 1, 100) <= 0)
            continue;
        const long long woke = monotonicNs();
        bool touched = false;
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != damageEvent + XDamageNotify)
                continue;
            const auto &area = reinterpret_cast<XDamageNotifyEvent &>(event).area;
            touched = touched || (x >= area.x && x < area.x + area.width && y >= area.y &&
                                  y < area.y + area.height);
        }
        if (!touched)
            continue;
        const long colour = readPixel(display, window, x, y);
        if (colour >= 0 && colour != last)
            report(woke, colour);
        if (colour >= 0)
            last = colour;
    }
    if (damage && !windowGone)
        XDamageDestroy(display, damage);
    XCloseDisplay(display);
    return 0;
}
