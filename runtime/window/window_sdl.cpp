// The SDL2 backend of the window services: opens the window, shows what the
// model composes, and turns SDL events into the model's events. Everything
// here but the property writes and StartThread runs on the main thread.
#include <SDL.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <deque>
#include <new>
#include <optional>
#include <string>

#include "platform/memory.h"
#include "runtime/picture/picture.h"
#include "runtime/window/window.h"
#include "runtime/window/window_model.h"

namespace {

// The one queue from any thread to the main thread, and the one window. The
// queue outlives everything: the process ends with _exit, never through
// static destructors, so a late writer cannot meet a destroyed queue.
WriteQueue& Queue() {
  static WriteQueue* queue = new WriteQueue;
  return *queue;
}

struct Shown {
  WindowModel model;
  SDL_Window* window = nullptr;
  Rect normal;  // where the window was before a maximize
  bool maximized = false;
  bool dirty = true;  // the screen no longer shows the model
  Image canvas;
};
std::optional<Shown> g_shown;  // main thread only
Uint32 g_wake_event = 0;       // written once before any window exists
// The fault box's parent; a fatal fault may come from any thread.
std::atomic<SDL_Window*> g_fault_parent{nullptr};

void ShowFaultBox(const char* message) {
  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Fatal fault", message,
                           g_fault_parent.load());
}

// GBK to UTF-8 for what reaches the screen; a text that does not convert
// shows its ASCII bytes only.
std::string ScreenText(const char* gbk) {
  std::string out;
  if (char* utf8 =
          SDL_iconv_string("UTF-8", "GBK", gbk, std::strlen(gbk) + 1)) {
    out = utf8;
    SDL_free(utf8);
    return out;
  }
  for (const char* p = gbk; *p != '\0'; ++p) {
    if (static_cast<unsigned char>(*p) < 0x80) out += *p;
  }
  return out;
}

void Wake() {
  SDL_Event e;
  SDL_zero(e);
  e.type = g_wake_event;
  SDL_PushEvent(&e);
}

[[noreturn]] void SdlFault(const char* what) {
  std::string why = std::string(what) + ": " + SDL_GetError();
  FatalFault(why.c_str());
}

// The icon with its transparency. The picture services hand out opaque
// pixels blended over a background, so the icon is prepared over black and
// over white, and the two give back alpha and colour.
SDL_Surface* IconSurface(const std::uint8_t* data, std::size_t size) {
  if (data == nullptr || size == 0) return nullptr;
  Bytes bytes(data, data + size);
  BoxSpec box{48, 48, DisplayMode::CentreShrink, 0xFF000000, true};
  PreparedPicture on_black = PreparePicture(bytes, box);
  box.background = 0xFFFFFFFF;
  PreparedPicture on_white = PreparePicture(bytes, box);
  if (on_black.frames.empty() || on_white.frames.empty()) return nullptr;
  const Image& b = on_black.frames[0].image;
  const Image& w = on_white.frames[0].image;
  SDL_Surface* s =
      SDL_CreateRGBSurfaceWithFormat(0, 48, 48, 32, SDL_PIXELFORMAT_ARGB8888);
  if (s == nullptr) return nullptr;
  for (int y = 0; y < 48; ++y) {
    auto* row = reinterpret_cast<Uint32*>(static_cast<Uint8*>(s->pixels) +
                                          y * s->pitch);
    for (int x = 0; x < 48; ++x) {
      const Pixel pb = b.pixels[static_cast<std::size_t>(y * 48 + x)];
      const Pixel pw = w.pixels[static_cast<std::size_t>(y * 48 + x)];
      // Over black a channel is c*a; over white c*a + 255 - a.
      int alpha =
          255 - static_cast<int>(((pw >> 8) & 0xFF) - ((pb >> 8) & 0xFF));
      alpha = alpha < 0 ? 0 : alpha > 255 ? 255 : alpha;
      Uint32 out = static_cast<Uint32>(alpha) << 24;
      for (int shift = 0; shift <= 16; shift += 8) {
        int c = alpha == 0
                    ? 0
                    : static_cast<int>((pb >> shift) & 0xFF) * 255 / alpha;
        out |= static_cast<Uint32>(c > 255 ? 255 : c) << shift;
      }
      row[x] = out;
    }
  }
  return s;
}

void Present(Shown& s) {
  ComposeWindow(s.model, s.canvas);
  SDL_Surface* surface = SDL_GetWindowSurface(s.window);
  if (surface == nullptr) return;
  const int w = surface->w < s.canvas.width ? surface->w : s.canvas.width;
  const int h = surface->h < s.canvas.height ? surface->h : s.canvas.height;
  if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return;
  SDL_ConvertPixels(w, h, SDL_PIXELFORMAT_ARGB8888, s.canvas.pixels.data(),
                    s.canvas.width * 4, surface->format->format,
                    surface->pixels, surface->pitch);
  if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
  SDL_UpdateWindowSurface(s.window);
  s.dirty = false;
}

void Place(Shown& s, std::int32_t placement) {
  if (placement == kPlacementMinimized) {
    SDL_MinimizeWindow(s.window);
    return;
  }
  SDL_RestoreWindow(s.window);
  if (s.maximized) {
    SDL_SetWindowSize(s.window, s.normal.width, s.normal.height);
    SDL_SetWindowPosition(s.window, s.normal.x, s.normal.y);
    s.model.width = s.normal.width;
    s.model.height = s.normal.height;
    s.maximized = false;
  }
  const int display = SDL_GetWindowDisplayIndex(s.window);
  SDL_Rect area;
  if (SDL_GetDisplayUsableBounds(display < 0 ? 0 : display, &area) != 0) {
    return;
  }
  if (placement == kPlacementCentred) {
    Rect r = CentredRect(area.w, area.h, s.model.width, s.model.height);
    SDL_SetWindowPosition(s.window, area.x + r.x, area.y + r.y);
  } else if (placement == kPlacementMaximized) {
    int x = 0, y = 0;
    SDL_GetWindowPosition(s.window, &x, &y);
    s.normal = Rect{x, y, s.model.width, s.model.height};
    s.maximized = true;
    SDL_SetWindowPosition(s.window, area.x, area.y);
    SDL_SetWindowSize(s.window, area.w, area.h);
    s.model.width = area.w;
    s.model.height = area.h;
  }
  s.dirty = true;
}

std::int32_t KeyFlags() {
  const SDL_Keymod mod = SDL_GetModState();
  return ((mod & KMOD_CTRL) ? kKeyCtrl : 0) |
         ((mod & KMOD_SHIFT) ? kKeyShift : 0) |
         ((mod & KMOD_ALT) ? kKeyAlt : 0);
}

void Deliver(const std::optional<MouseEvent>& e) {
  if (!e || !g_shown) return;
  if (MouseHandler handler = BoundHandler(g_shown->model, *e)) {
    handler(e->x, e->y, e->keys);
  }
}

void Destroy() {
  CloseWriteTarget(Queue(), g_shown->model.d->name);
  g_fault_parent.store(nullptr);
  SDL_DestroyWindow(g_shown->window);
  g_shown.reset();
}

void Handle(const SDL_Event& e) {
  if (!g_shown) return;
  Shown& s = *g_shown;
  const Uint32 id = SDL_GetWindowID(s.window);
  switch (e.type) {
    case SDL_MOUSEBUTTONDOWN:
      if (e.button.windowID == id && e.button.button == SDL_BUTTON_LEFT) {
        Deliver(PressLeft(s.model, e.button.x, e.button.y, KeyFlags(),
                          e.button.timestamp));
      }
      break;
    case SDL_MOUSEBUTTONUP:
      if (e.button.windowID == id && e.button.button == SDL_BUTTON_LEFT) {
        Deliver(ReleaseLeft(s.model, e.button.x, e.button.y, KeyFlags()));
      }
      break;
    case SDL_WINDOWEVENT:
      if (e.window.windowID != id) break;
      switch (e.window.event) {
        case SDL_WINDOWEVENT_FOCUS_GAINED:
          if (!s.model.activated_once) {
            s.model.activated_once = true;
            if (s.model.d->first_activated) s.model.d->first_activated();
          }
          break;
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SIZE_CHANGED:
        case SDL_WINDOWEVENT_RESTORED:
          s.dirty = true;
          break;
        case SDL_WINDOWEVENT_CLOSE:
          // The system closes the window without asking.
          Destroy();
          break;
        default:
          break;
      }
      break;
    default:
      break;  // keys, wheel, other buttons: not handled
  }
}

void ApplyWrites() {
  std::deque<PropertyWrite> writes = TakeWrites(Queue());
  for (PropertyWrite& w : writes) {
    if (!g_shown) return;
    std::optional<std::int32_t> place =
        ApplyWrite(g_shown->model, w, SDL_GetTicks());
    g_shown->dirty = true;
    if (place) Place(*g_shown, *place);
  }
  // A picture write frees the picture it replaces; hand those pages back.
  if (!writes.empty()) ReturnFreeMemory();
}

struct ThreadStart {
  void (*routine)();
};

int ThreadMain(void* data) {
  ThreadStart start = *static_cast<ThreadStart*>(data);
  delete static_cast<ThreadStart*>(data);
  start.routine();
  // What the worker freed goes back to the system before the thread ends.
  ReturnFreeMemory();
  return 0;
}

}  // namespace

void InitWindowServices() {
  SetFaultBox(ShowFaultBox);
  // Windows' rules: no capture of the mouse, the click that activates a
  // window is delivered too, and a window that loses the focus stays.
  SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "0");
  SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
  SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
  // Signals keep their default action; the window's close is the only way
  // the loop ends.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // A desktop window only: never take over the console's display.
  SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "x11,wayland",
                          SDL_HINT_OVERRIDE);
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) SdlFault("cannot open the display");
  g_wake_event = SDL_RegisterEvents(1);
  if (g_wake_event == static_cast<Uint32>(-1)) SdlFault("no user events");
  Queue().wake = Wake;
}

void LoadWindow(const WindowDescription& description) {
  if (g_shown) FatalFault("a window is already loaded");
  SDL_DisplayMode mode;
  if (SDL_GetDesktopDisplayMode(0, &mode) != 0) SdlFault("no screen");
  std::optional<WindowModel> model = BuildWindow(description, mode.w, mode.h);
  if (!model) FatalFault("the window cannot be built from its description");
  const bool halftone = SDL_BITSPERPIXEL(mode.format) > 16;
  for (ControlState& c : model->controls) {
    c.box.halftone = halftone;
    if (c.d->kind == ControlKind::PicBox && c.d->picture != nullptr) {
      c.picture = PreparePicture(
          Bytes(c.d->picture, c.d->picture + c.d->picture_size), c.box);
      c.frame_shown_ms = SDL_GetTicks();
    }
  }

  Uint32 flags = SDL_WINDOW_HIDDEN;
  if (!description.frame) flags |= SDL_WINDOW_BORDERLESS;
  if (!description.taskbar) flags |= SDL_WINDOW_SKIP_TASKBAR;
  if (description.topmost) flags |= SDL_WINDOW_ALWAYS_ON_TOP;
  const int x = description.centred ? model->x : SDL_WINDOWPOS_UNDEFINED;
  const int y = description.centred ? model->y : SDL_WINDOWPOS_UNDEFINED;
  SDL_Window* window =
      SDL_CreateWindow(ScreenText(description.title).c_str(), x, y,
                       description.width, description.height, flags);
  if (window == nullptr) SdlFault("cannot create the window");
  if (SDL_Surface* icon =
          IconSurface(description.icon, description.icon_size)) {
    SDL_SetWindowIcon(window, icon);
    SDL_FreeSurface(icon);
  }
  g_shown.emplace();
  g_shown->model = std::move(*model);
  g_shown->window = window;
  g_fault_parent.store(window);
  OpenWriteTarget(Queue(), g_shown->model);

  if (description.created) description.created();
  if (!g_shown) return;
  if (description.visible) {
    g_shown->model.visible = true;
    SDL_ShowWindow(window);
    SDL_RaiseWindow(window);
    Present(*g_shown);
  }
}

void RunMessageLoop() {
  while (g_shown) {
    SDL_Event e;
    const std::int32_t due = NextAnimationDue(g_shown->model, SDL_GetTicks());
    // Waits for the next event: an idle window costs nothing. Only while a
    // picture animates is there a time-out, at its next frame.
    const int got = due < 0 ? SDL_WaitEvent(&e) : SDL_WaitEventTimeout(&e, due);
    if (got) Handle(e);
    // The rest that queued, but only so many: writes and painting must not
    // starve behind a flood of input.
    for (int n = 0; n < 256 && g_shown && SDL_PollEvent(&e); ++n) Handle(e);
    ApplyWrites();
    if (!g_shown) break;
    if (AdvanceAnimations(g_shown->model, SDL_GetTicks())) {
      g_shown->dirty = true;
    }
    if (g_shown->dirty) Present(*g_shown);
  }
}

void WriteVisible(const char* window, const char* control, bool visible) {
  PostVisible(Queue(), window, control, visible);
}

void WritePlacement(const char* window, std::int32_t placement) {
  PostPlacement(Queue(), window, placement);
}

void WritePicture(const char* window, const char* control,
                  const Bytes& picture) {
  PostPicture(Queue(), window, control, picture, PreparePicture);
}

bool StartThread(void (*routine)()) {
  if (routine == nullptr) return false;
  auto* start = new (std::nothrow) ThreadStart{routine};
  if (start == nullptr) return false;
  SDL_Thread* thread = SDL_CreateThread(ThreadMain, "worker", start);
  if (thread == nullptr) {
    delete start;
    return false;
  }
  SDL_DetachThread(thread);
  return true;
}
