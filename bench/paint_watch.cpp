// paint_watch: sees from outside when a program paints its window, for the
// whole-process benchmarks (bench/whole_process.py runs it; one X client,
// single-threaded). It asks the X server's DAMAGE extension to report every
// drawing into the first new top-level window of a given size, and prints one
// line per event on standard output, flushed, stamped with CLOCK_MONOTONIC
// nanoseconds (the same clock as Python's time.monotonic_ns()):
//
//   <ns> ready                       watching; start the program now
//   <ns> window <id>                 the window being watched
//   <ns> paint <x> <y> <w> <h> <flat|content>
//                                    drawing in that rectangle; with --content
//                                    the window was read back afterwards:
//                                    "flat" when every pixel has one colour
//   <ns> probes <count>              how many expose probes were sent (at end)
//
// Usage: paint_watch --size WxH [--content] [--probe-ms N] [--seconds S]
//                    [--window ID]
// --probe-ms N clears nothing but asks the X server for an Expose on the
// watched window every N ms (XClearArea with exposures; the window's
// background must be None, as SDL's is), so that a program that is not
// stuck repaints at once: the longest gap between two paints is then how
// long its main thread was away. --window watches an existing window instead
// of waiting for a new one. Ends after --seconds (default 30) or on SIGTERM.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>
#include <poll.h>
#include <signal.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

volatile sig_atomic_t g_stop = 0;

std::int64_t NowNs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// A window that goes away between an event and a request must not end the
// watcher: X errors are ignored.
int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

// True when every pixel of the window reads back as one colour (or the
// window cannot be read at all).
bool IsFlat(Display* display, Window window) {
  XWindowAttributes attrs;
  if (!XGetWindowAttributes(display, window, &attrs) ||
      attrs.map_state != IsViewable) {
    return true;
  }
  XImage* image = XGetImage(display, window, 0, 0, attrs.width, attrs.height,
                            AllPlanes, ZPixmap);
  if (image == nullptr) return true;
  const unsigned long first = XGetPixel(image, 0, 0);
  bool flat = true;
  for (int y = 0; y < attrs.height && flat; ++y) {
    for (int x = 0; x < attrs.width; ++x) {
      if (XGetPixel(image, x, y) != first) {
        flat = false;
        break;
      }
    }
  }
  XDestroyImage(image);
  return flat;
}

bool ParseSize(const char* text, int* w, int* h) {
  return std::sscanf(text, "%dx%d", w, h) == 2 && *w > 0 && *h > 0;
}

}  // namespace

int main(int argc, char** argv) {
  int want_w = 0, want_h = 0;
  bool content = false;
  long probe_ms = 0;
  double seconds = 30;
  Window watched = 0;
  for (int i = 1; i < argc; ++i) {
    const bool has_value = i + 1 < argc;
    if (!std::strcmp(argv[i], "--size") && has_value) {
      if (!ParseSize(argv[++i], &want_w, &want_h)) return 2;
    } else if (!std::strcmp(argv[i], "--content")) {
      content = true;
    } else if (!std::strcmp(argv[i], "--probe-ms") && has_value) {
      probe_ms = std::strtol(argv[++i], nullptr, 10);
    } else if (!std::strcmp(argv[i], "--seconds") && has_value) {
      seconds = std::strtod(argv[++i], nullptr);
    } else if (!std::strcmp(argv[i], "--window") && has_value) {
      watched = static_cast<Window>(std::strtoul(argv[++i], nullptr, 0));
    } else {
      std::fprintf(stderr,
                   "usage: paint_watch --size WxH [--content] [--probe-ms N] "
                   "[--seconds S] [--window ID]\n");
      return 2;
    }
  }
  if (watched == 0 && want_w == 0) return 2;

  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "paint_watch: cannot open the display\n");
    return 1;
  }
  XSetErrorHandler(IgnoreErrors);
  int damage_event = 0, damage_error = 0;
  if (!XDamageQueryExtension(display, &damage_event, &damage_error)) {
    std::fprintf(stderr, "paint_watch: the X server has no DAMAGE\n");
    return 1;
  }
  signal(SIGTERM, [](int) { g_stop = 1; });
  signal(SIGINT, [](int) { g_stop = 1; });

  const Window root = DefaultRootWindow(display);
  Damage damage = 0;
  auto watch = [&](Window w) {
    watched = w;
    damage = XDamageCreate(display, w, XDamageReportRawRectangles);
    XSync(display, False);
    std::printf("%lld window %lu\n", static_cast<long long>(NowNs()), w);
    std::fflush(stdout);
  };
  if (watched != 0) {
    watch(watched);
  } else {
    XSelectInput(display, root, SubstructureNotifyMask);
  }
  XSync(display, False);
  std::printf("%lld ready\n", static_cast<long long>(NowNs()));
  std::fflush(stdout);

  const std::int64_t end = NowNs() + static_cast<std::int64_t>(seconds * 1e9);
  std::int64_t next_probe = NowNs();
  long probes = 0;
  const int fd = ConnectionNumber(display);
  while (!g_stop && NowNs() < end) {
    while (XPending(display)) {
      XEvent e;
      XNextEvent(display, &e);
      const std::int64_t t = NowNs();
      if (e.type == CreateNotify && damage == 0 &&
          e.xcreatewindow.parent == root && e.xcreatewindow.width == want_w &&
          e.xcreatewindow.height == want_h) {
        watch(e.xcreatewindow.window);
      } else if (e.type == damage_event + XDamageNotify) {
        const auto& d = reinterpret_cast<XDamageNotifyEvent&>(e);
        if (d.drawable != watched) continue;
        const char* kind = "";
        if (content) kind = IsFlat(display, watched) ? " flat" : " content";
        std::printf("%lld paint %d %d %d %d%s\n", static_cast<long long>(t),
                    d.area.x, d.area.y, d.area.width, d.area.height, kind);
        std::fflush(stdout);
      }
    }
    std::int64_t wait_ns = end - NowNs();
    if (probe_ms > 0 && damage != 0) {
      const std::int64_t now = NowNs();
      if (now >= next_probe) {
        XClearArea(display, watched, 0, 0, 0, 0, True);
        XFlush(display);
        ++probes;
        next_probe = now + probe_ms * 1000000;
      }
      if (next_probe - NowNs() < wait_ns) wait_ns = next_probe - NowNs();
    }
    pollfd p{fd, POLLIN, 0};
    const int ms = wait_ns <= 0 ? 0 : static_cast<int>(wait_ns / 1000000) + 1;
    poll(&p, 1, ms);
  }
  std::printf("%lld probes %ld\n", static_cast<long long>(NowNs()), probes);
  std::fflush(stdout);
  if (damage != 0) XDamageDestroy(display, damage);
  XCloseDisplay(display);
  return 0;
}
