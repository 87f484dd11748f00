#include "runtime/window/window_model.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

std::vector<std::int32_t>& SiblingsOf(WindowModel& m, std::int32_t parent) {
  return parent == kHitWindow ? m.window_children
                              : m.children[static_cast<std::size_t>(parent)];
}

void Remove(std::vector<std::int32_t>& list, std::int32_t c) {
  list.erase(std::remove(list.begin(), list.end(), c), list.end());
}

bool Contains(const Rect& r, std::int32_t x, std::int32_t y) {
  return x >= r.x && y >= r.y && x - r.x < r.width && y - r.y < r.height;
}

// Depth-first from the top of `list`: the deepest visible control under
// (x, y), given relative to the list's parent client area.
std::int32_t HitIn(const WindowModel& m, const std::vector<std::int32_t>& list,
                   std::int32_t x, std::int32_t y) {
  for (std::int32_t c : list) {
    const ControlState& s = m.controls[static_cast<std::size_t>(c)];
    if (!s.visible || !Contains(s.rect, x, y)) continue;
    std::int32_t inner = HitIn(m, m.children[static_cast<std::size_t>(c)],
                               x - s.rect.x, y - s.rect.y);
    return inner >= 0 ? inner : c;
  }
  return kHitWindow;
}

std::int32_t FindWindowTarget(const WriteQueue& q, const char* window) {
  for (std::size_t i = 0; i < q.open.size(); ++i) {
    if (window != nullptr && q.open[i].window == window) {
      return static_cast<std::int32_t>(i);
    }
  }
  return -1;
}

std::int32_t FindControlName(const WriteQueue::Target& t, const char* name) {
  for (std::size_t i = 0; i < t.controls.size(); ++i) {
    if (name != nullptr && t.controls[i] == name) {
      return static_cast<std::int32_t>(i);
    }
  }
  return -1;
}

// Queues a write. A pending write to the same property of the same control
// is dropped first: the later one would overwrite it anyway, and the queue
// stays bounded by the number of properties however fast writers come. The
// main thread is woken once per batch, not once per write.
void Push(WriteQueue& q, PropertyWrite&& w) {
  void (*wake)() = nullptr;
  PropertyWrite dropped;  // freed outside the lock
  {
    std::lock_guard<std::mutex> lock(q.mutex);
    if (FindWindowTarget(q, w.window.c_str()) < 0) return;
    for (auto it = q.pending.begin(); it != q.pending.end(); ++it) {
      if (it->kind == w.kind && it->control == w.control &&
          it->window == w.window) {
        dropped = std::move(*it);
        q.pending.erase(it);
        break;
      }
    }
    q.pending.push_back(std::move(w));
    if (!q.woken) {
      q.woken = true;
      wake = q.wake;
    }
  }
  if (wake != nullptr) wake();
}

// How long a frame shows. Delays of 10 ms and less are what many GIF
// writers put for "as fast as you can"; browsers show them at 100 ms, and
// so do we, so that such a picture cannot spin the loop.
std::uint32_t FrameDelay(const PreparedFrame& f) {
  return f.delay_ms <= 10 ? 100u : static_cast<std::uint32_t>(f.delay_ms);
}

bool Animates(const ControlState& s) {
  return s.visible && s.d->animate && s.picture.frames.size() > 1 &&
         (s.picture.loop_count <= 0 || s.loops_done < s.picture.loop_count);
}

// Whether the control and all its ancestors are visible.
bool Showing(const WindowModel& m, std::int32_t c) {
  for (; c >= 0; c = m.controls[static_cast<std::size_t>(c)].parent) {
    if (!m.controls[static_cast<std::size_t>(c)].visible) return false;
  }
  return true;
}

}  // namespace

Rect CentredRect(std::int32_t screen_width, std::int32_t screen_height,
                 std::int32_t width, std::int32_t height) {
  return Rect{(screen_width - width) / 2, (screen_height - height) / 2, width,
              height};
}

std::optional<WindowModel> BuildWindow(const WindowDescription& description,
                                       std::int32_t screen_width,
                                       std::int32_t screen_height) {
  WindowModel m;
  m.d = &description;
  m.width = description.width;
  m.height = description.height;
  if (m.width <= 0 || m.height <= 0) return std::nullopt;
  if (description.centred) {
    Rect r = CentredRect(screen_width, screen_height, m.width, m.height);
    m.x = r.x;
    m.y = r.y;
  }
  const std::size_t n = description.control_count;
  if (n > 0 && description.controls == nullptr) return std::nullopt;
  m.controls.resize(n);
  m.children.resize(n);

  // Created hidden, as children of the window, in reverse list order; each
  // new window goes on top of its siblings.
  for (std::size_t i = n; i-- > 0;) {
    ControlState& s = m.controls[i];
    s.d = &description.controls[i];
    s.rect = s.d->rect;
    s.box =
        BoxSpec{s.rect.width, s.rect.height, s.d->mode, s.d->background, true};
    m.window_children.insert(m.window_children.begin(),
                             static_cast<std::int32_t>(i));
  }
  // Moved under their parents, again in reverse list order.
  for (std::size_t i = n; i-- > 0;) {
    const char* parent = description.controls[i].parent;
    std::int32_t p = kHitWindow;
    if (parent == nullptr || std::strcmp(parent, description.name) != 0) {
      p = FindControl(m, parent);
      if (p < 0 || p == static_cast<std::int32_t>(i)) return std::nullopt;
    }
    Remove(m.window_children, static_cast<std::int32_t>(i));
    m.controls[i].parent = p;
    auto& siblings = SiblingsOf(m, p);
    siblings.insert(siblings.begin(), static_cast<std::int32_t>(i));
  }
  // A parent chain that loops would hang every walk up the tree.
  for (std::size_t i = 0; i < n; ++i) {
    std::int32_t c = static_cast<std::int32_t>(i);
    for (std::size_t steps = 0; c >= 0; ++steps) {
      if (steps > n) return std::nullopt;
      c = m.controls[static_cast<std::size_t>(c)].parent;
    }
  }
  // Stacked: each directly below its nearest earlier sibling in the list,
  // or on top when none comes earlier.
  for (std::size_t i = 0; i < n; ++i) {
    const std::int32_t c = static_cast<std::int32_t>(i);
    const std::int32_t p = m.controls[i].parent;
    auto& siblings = SiblingsOf(m, p);
    Remove(siblings, c);
    std::int32_t earlier = -1;
    for (std::size_t j = i; j-- > 0;) {
      if (m.controls[j].parent == p) {
        earlier = static_cast<std::int32_t>(j);
        break;
      }
    }
    auto at = siblings.begin();
    if (earlier >= 0) {
      at = std::find(siblings.begin(), siblings.end(), earlier) + 1;
    }
    siblings.insert(at, c);
  }
  for (ControlState& s : m.controls) s.visible = s.d->visible;
  return m;
}

std::int32_t FindControl(const WindowModel& model, const char* name) {
  if (name == nullptr) return -1;
  for (std::size_t i = 0; i < model.controls.size(); ++i) {
    if (std::strcmp(model.controls[i].d->name, name) == 0) {
      return static_cast<std::int32_t>(i);
    }
  }
  return -1;
}

void ControlOrigin(const WindowModel& model, std::int32_t control,
                   std::int32_t* x, std::int32_t* y) {
  std::int32_t ox = 0, oy = 0;
  for (std::int32_t c = control; c >= 0;
       c = model.controls[static_cast<std::size_t>(c)].parent) {
    ox += model.controls[static_cast<std::size_t>(c)].rect.x;
    oy += model.controls[static_cast<std::size_t>(c)].rect.y;
  }
  *x = ox;
  *y = oy;
}

std::int32_t HitTest(const WindowModel& model, std::int32_t x, std::int32_t y) {
  if (!Contains(Rect{0, 0, model.width, model.height}, x, y)) {
    return kHitNowhere;
  }
  return HitIn(model, model.window_children, x, y);
}

std::optional<MouseEvent> PressLeft(WindowModel& model, std::int32_t x,
                                    std::int32_t y, std::int32_t keys,
                                    std::uint32_t time_ms) {
  const std::int32_t target = HitTest(model, x, y);
  if (target == kHitNowhere) return std::nullopt;
  MouseEvent e{MouseEventKind::LeftPressed, target, x, y, keys};
  ClickState& c = model.click;
  // The rectangle is kDoubleClickSize wide, centred on the first press:
  // offsets -2..1 in each direction.
  const std::int32_t half = kDoubleClickSize / 2;
  const bool pairs =
      c.armed && c.control == target && time_ms - c.time_ms <= kDoubleClickMs &&
      x - c.x >= -half && x - c.x < half && y - c.y >= -half && y - c.y < half;
  if (pairs) {
    e.kind = MouseEventKind::DoubleClicked;
    c.armed = false;
  } else {
    c = ClickState{true, target, x, y, time_ms};
  }
  std::int32_t ox = 0, oy = 0;
  ControlOrigin(model, target, &ox, &oy);
  e.x -= ox;
  e.y -= oy;
  return e;
}

std::optional<MouseEvent> ReleaseLeft(WindowModel& model, std::int32_t x,
                                      std::int32_t y, std::int32_t keys) {
  const std::int32_t target = HitTest(model, x, y);
  if (target == kHitNowhere) return std::nullopt;
  std::int32_t ox = 0, oy = 0;
  ControlOrigin(model, target, &ox, &oy);
  return MouseEvent{MouseEventKind::LeftReleased, target, x - ox, y - oy, keys};
}

MouseHandler BoundHandler(const WindowModel& model, const MouseEvent& event) {
  if (event.control < 0 ||
      static_cast<std::size_t>(event.control) >= model.controls.size()) {
    return nullptr;
  }
  const ControlDescription& d =
      *model.controls[static_cast<std::size_t>(event.control)].d;
  switch (event.kind) {
    case MouseEventKind::LeftPressed:
      return d.left_pressed;
    case MouseEventKind::LeftReleased:
      return d.left_released;
    case MouseEventKind::DoubleClicked:
      return d.double_clicked;
  }
  return nullptr;
}

// ---- property writes
// ---------------------------------------------------------

void OpenWriteTarget(WriteQueue& queue, const WindowModel& model) {
  WriteQueue::Target t;
  t.window = model.d->name;
  for (const ControlState& s : model.controls) {
    t.controls.emplace_back(s.d->name);
    t.boxes.push_back(s.box);
    t.picture_boxes.push_back(s.d->kind == ControlKind::PicBox);
  }
  std::lock_guard<std::mutex> lock(queue.mutex);
  queue.open.push_back(std::move(t));
}

void CloseWriteTarget(WriteQueue& queue, const std::string& window) {
  std::deque<PropertyWrite> dropped;  // freed outside the lock
  std::lock_guard<std::mutex> lock(queue.mutex);
  std::int32_t i = FindWindowTarget(queue, window.c_str());
  if (i >= 0) queue.open.erase(queue.open.begin() + i);
  for (PropertyWrite& w : queue.pending) {
    if (w.window != window) dropped.push_back(std::move(w));
  }
  std::swap(queue.pending, dropped);
}

bool PostVisible(WriteQueue& queue, const char* window, const char* control,
                 bool visible) {
  PropertyWrite w;
  {
    std::lock_guard<std::mutex> lock(queue.mutex);
    std::int32_t t = FindWindowTarget(queue, window);
    if (t < 0) return false;
    w.control =
        FindControlName(queue.open[static_cast<std::size_t>(t)], control);
    if (w.control < 0) return false;
  }
  w.window = window;
  w.kind = WriteKind::Visible;
  w.visible = visible;
  Push(queue, std::move(w));
  return true;
}

bool PostPlacement(WriteQueue& queue, const char* window,
                   std::int32_t placement) {
  {
    std::lock_guard<std::mutex> lock(queue.mutex);
    if (FindWindowTarget(queue, window) < 0) return false;
  }
  PropertyWrite w;
  w.window = window;
  w.kind = WriteKind::Placement;
  w.placement = placement;
  Push(queue, std::move(w));
  return true;
}

bool PostPicture(WriteQueue& queue, const char* window, const char* control,
                 const Bytes& picture,
                 PreparedPicture (*prepare)(const Bytes&, const BoxSpec&)) {
  PropertyWrite w;
  BoxSpec box;
  {
    std::lock_guard<std::mutex> lock(queue.mutex);
    std::int32_t t = FindWindowTarget(queue, window);
    if (t < 0) return false;
    const WriteQueue::Target& target = queue.open[static_cast<std::size_t>(t)];
    w.control = FindControlName(target, control);
    if (w.control < 0) return false;
    if (!target.picture_boxes[static_cast<std::size_t>(w.control)]) {
      return false;
    }
    box = target.boxes[static_cast<std::size_t>(w.control)];
  }
  w.window = window;
  w.kind = WriteKind::Picture;
  w.picture = prepare(picture, box);
  Push(queue, std::move(w));
  return true;
}

std::deque<PropertyWrite> TakeWrites(WriteQueue& queue) {
  std::deque<PropertyWrite> taken;
  std::lock_guard<std::mutex> lock(queue.mutex);
  std::swap(taken, queue.pending);
  queue.woken = false;
  return taken;
}

std::optional<std::int32_t> ApplyWrite(WindowModel& model, PropertyWrite& write,
                                       std::uint32_t now_ms) {
  if (model.d == nullptr || write.window != model.d->name) return std::nullopt;
  if (write.kind == WriteKind::Placement) {
    if (!model.visible) return std::nullopt;
    return std::clamp(write.placement, kPlacementNormal, kPlacementMaximized);
  }
  if (write.control < 0 ||
      static_cast<std::size_t>(write.control) >= model.controls.size()) {
    return std::nullopt;
  }
  ControlState& s = model.controls[static_cast<std::size_t>(write.control)];
  if (write.kind == WriteKind::Visible) {
    s.visible = write.visible;
  } else {
    s.picture = std::move(write.picture);
    s.frame = 0;
    s.frame_shown_ms = now_ms;
    s.loops_done = 0;
  }
  return std::nullopt;
}

// ---- animation
// ---------------------------------------------------------------

bool AdvanceAnimations(WindowModel& model, std::uint32_t now_ms) {
  bool changed = false;
  for (std::size_t i = 0; i < model.controls.size(); ++i) {
    ControlState& s = model.controls[i];
    // A hidden box keeps its frame and its clock: it goes on from there.
    if (!Animates(s) || !Showing(model, static_cast<std::int32_t>(i))) {
      continue;
    }
    // Catch up frame by frame, but never more than one round, so that a
    // long stall costs no more than one pass over the frames.
    for (std::size_t k = 0; k < s.picture.frames.size() && Animates(s); ++k) {
      std::uint32_t delay = FrameDelay(s.picture.frames[s.frame]);
      if (now_ms - s.frame_shown_ms < delay) break;
      s.frame_shown_ms += delay;
      if (++s.frame == s.picture.frames.size()) {
        ++s.loops_done;
        s.frame = Animates(s) ? 0 : s.frame - 1;
      }
      changed = true;
    }
    if (now_ms - s.frame_shown_ms >= FrameDelay(s.picture.frames[s.frame])) {
      s.frame_shown_ms = now_ms;  // too far behind: go on from now
    }
  }
  return changed;
}

std::int32_t NextAnimationDue(const WindowModel& model, std::uint32_t now_ms) {
  std::int64_t best = -1;
  for (std::size_t i = 0; i < model.controls.size(); ++i) {
    const ControlState& s = model.controls[i];
    if (!Animates(s) || !Showing(model, static_cast<std::int32_t>(i))) {
      continue;
    }
    std::int64_t due = std::int64_t{FrameDelay(s.picture.frames[s.frame])} -
                       std::int64_t{now_ms - s.frame_shown_ms};
    if (due < 0) due = 0;
    if (best < 0 || due < best) best = due;
  }
  return static_cast<std::int32_t>(best);
}
