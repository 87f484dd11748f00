#include <algorithm>

#include "runtime/window/window_model.h"

// ---- painting --------------------------------------------------------------

namespace {

Rect Intersect(const Rect& a, const Rect& b) {
  std::int64_t left = std::max(a.x, b.x), top = std::max(a.y, b.y);
  std::int64_t right = std::min<std::int64_t>(std::int64_t{a.x} + a.width,
                                              std::int64_t{b.x} + b.width);
  std::int64_t bottom = std::min<std::int64_t>(std::int64_t{a.y} + a.height,
                                               std::int64_t{b.y} + b.height);
  if (right <= left || bottom <= top) return Rect{};
  return Rect{static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
              static_cast<std::int32_t>(right - left),
              static_cast<std::int32_t>(bottom - top)};
}

void PaintChildren(const WindowModel& m, const std::vector<std::int32_t>& list,
                   std::int32_t ox, std::int32_t oy, const Rect& clip,
                   Image& canvas) {
  // Bottom first, so that the ones above paint over it.
  for (auto it = list.rbegin(); it != list.rend(); ++it) {
    const ControlState& s = m.controls[static_cast<std::size_t>(*it)];
    if (!s.visible) continue;
    const std::int32_t x = ox + s.rect.x, y = oy + s.rect.y;
    const Rect own = Intersect(clip, Rect{x, y, s.rect.width, s.rect.height});
    if (own.width == 0) continue;
    if (s.d->kind == ControlKind::PicBox) {
      PaintPicBox(canvas, own, x, y, s.box, s.picture, s.frame);
    }
    PaintChildren(m, m.children[static_cast<std::size_t>(*it)], x, y, own,
                  canvas);
  }
}

}  // namespace

void ComposeWindow(const WindowModel& model, Image& canvas) {
  canvas.width = model.width;
  canvas.height = model.height;
  canvas.pixels.assign(static_cast<std::size_t>(model.width) *
                           static_cast<std::size_t>(model.height),
                       model.d->background);
  PaintChildren(model, model.window_children, 0, 0,
                Rect{0, 0, model.width, model.height}, canvas);
}
