// Blending and scaling rows into prepared frames as decoders deliver them.
#include "runtime/picture/picture_sink.h"

#include <algorithm>

namespace {

Pixel MakeOpaque(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return 0xFF000000u | r << 16 | g << 8 | b;
}

}  // namespace

PictureSink::PictureSink(const BoxSpec& box) : box_(box) {}

PictureSink::PictureSink() : natural_(true) {}

Rect PictureSink::Target(std::int32_t w, std::int32_t h) const {
  if (natural_) return Rect{0, 0, w, h};
  return FitPicture(w, h, box_);
}

Pixel PictureSink::Blend(Pixel p) const {
  const std::uint32_t a = p >> 24;
  if (a == 255) return p;
  const Pixel bg = box_.background;
  if (a == 0) return bg | 0xFF000000u;
  Pixel out = 0xFF000000u;
  for (int shift = 0; shift <= 16; shift += 8) {
    const std::uint32_t c = (p >> shift) & 0xFF;
    const std::uint32_t b = (bg >> shift) & 0xFF;
    out |= ((c * a + b * (255 - a) + 127) / 255) << shift;
  }
  return out;
}

bool PictureSink::BeginFrame(std::int32_t nw, std::int32_t nh, std::int32_t w,
                             std::int32_t h, std::int32_t delay_ms) {
  open_ = false;
  if (nw < 1 || nh < 1 || nw > kMaxPictureSide || nh > kMaxPictureSide ||
      w < 1 || h < 1 || w > nw || h > nh) {
    return false;
  }
  std::int32_t fw = w, fh = h;
  if (!natural_) {
    if (box_.width < 1 || box_.height < 1 || box_.width > kMaxPictureSide ||
        box_.height > kMaxPictureSide) {
      return false;
    }
    fw = box_.width;
    fh = box_.height;
  }
  const std::int64_t frame_pixels = std::int64_t{fw} * fh;
  if (held_ + frame_pixels > kMaxHeldPixels ||
      work_ + std::int64_t{w} * h > kMaxWorkPixels) {
    return false;
  }
  held_ += frame_pixels;
  work_ += std::int64_t{w} * h;

  PreparedFrame& frame = picture_.frames.emplace_back();
  frame.delay_ms = delay_ms;
  out_ = &frame.image;
  out_->width = fw;
  out_->height = fh;
  out_->pixels.assign(static_cast<std::size_t>(frame_pixels),
                      natural_ ? 0u : (box_.background | 0xFF000000u));

  rect_ = natural_ ? Rect{0, 0, w, h} : FitPicture(nw, nh, box_);
  w_ = w;
  h_ = h;
  cx0_ = std::clamp(-rect_.x, 0, rect_.width);
  cx1_ = std::clamp(fw - rect_.x, cx0_, rect_.width);
  cy0_ = std::clamp(-rect_.y, 0, rect_.height);
  cy1_ = std::clamp(fh - rect_.y, cy0_, rect_.height);
  sy_ = 0;
  next_dy_ = 0;
  blank_.assign(static_cast<std::size_t>(w), 0u);

  const std::int64_t rw = rect_.width, rh = rect_.height;
  if (rw == w && rh == h) {
    method_ = Method::kCopy;
  } else if (!box_.halftone) {
    // Each destination pixel takes the source pixel under its centre.
    method_ = Method::kNearest;
    near_x_.resize(static_cast<std::size_t>(cx1_ - cx0_));
    for (std::int32_t dx = cx0_; dx < cx1_; ++dx) {
      near_x_[dx - cx0_] =
          static_cast<std::int32_t>((2 * dx + 1) * w / (2 * rw));
    }
  } else {
    // Area averaging: lay source and destination over one line of w * rw
    // units, a source pixel rw units wide and a destination pixel w units;
    // a destination pixel is the sum of the source pixels under it, each
    // weighted by the units they share, divided by w (and likewise down).
    method_ = Method::kArea;
    tap_start_.assign(static_cast<std::size_t>(cx1_ - cx0_ + 1), 0);
    taps_.clear();
    for (std::int32_t dx = cx0_; dx < cx1_; ++dx) {
      tap_start_[dx - cx0_] = static_cast<std::int32_t>(taps_.size());
      const std::int64_t lo = dx * std::int64_t{w}, hi = lo + w;
      for (std::int64_t sx = lo / rw; sx * rw < hi && sx < w; ++sx) {
        const std::int64_t share =
            std::min(hi, (sx + 1) * rw) - std::max(lo, sx * rw);
        if (share > 0) {
          taps_.push_back({static_cast<std::int32_t>(sx),
                           static_cast<std::uint32_t>(share)});
        }
      }
    }
    tap_start_[cx1_ - cx0_] = static_cast<std::int32_t>(taps_.size());
    blended_.assign(static_cast<std::size_t>(w) * 3, 0);
    row_sum_.assign(static_cast<std::size_t>(cx1_ - cx0_) * 3, 0);
    acc_.assign(static_cast<std::size_t>(cx1_ - cx0_) * 3, 0);
  }
  open_ = true;
  return true;
}

void PictureSink::Finish(std::int32_t dy, const std::uint64_t* acc) {
  const std::uint64_t total = std::uint64_t(w_) * std::uint64_t(h_);
  Pixel* out =
      &out_->pixels[static_cast<std::size_t>(rect_.y + dy) * out_->width +
                    rect_.x + cx0_];
  for (std::int32_t i = 0; i < cx1_ - cx0_; ++i) {
    const std::uint64_t r = (acc[3 * i] + total / 2) / total;
    const std::uint64_t g = (acc[3 * i + 1] + total / 2) / total;
    const std::uint64_t b = (acc[3 * i + 2] + total / 2) / total;
    out[i] =
        MakeOpaque(static_cast<std::uint32_t>(r), static_cast<std::uint32_t>(g),
                   static_cast<std::uint32_t>(b));
  }
}

void PictureSink::PutRow(const Pixel* row) {
  if (!open_ || sy_ >= h_) return;
  const std::int32_t sy = sy_++;
  const std::int64_t rh = rect_.height;
  switch (method_) {
    case Method::kCopy: {
      if (sy < cy0_ || sy >= cy1_) return;
      Pixel* out =
          &out_->pixels[static_cast<std::size_t>(rect_.y + sy) * out_->width +
                        rect_.x];
      if (natural_) {
        std::copy(row + cx0_, row + cx1_, out + cx0_);
      } else {
        for (std::int32_t x = cx0_; x < cx1_; ++x) out[x] = Blend(row[x]);
      }
      return;
    }
    case Method::kNearest: {
      while (next_dy_ < rh &&
             (2 * next_dy_ + 1) * std::int64_t{h_} / (2 * rh) == sy) {
        const std::int32_t dy = next_dy_++;
        if (dy < cy0_ || dy >= cy1_) continue;
        Pixel* out =
            &out_->pixels[static_cast<std::size_t>(rect_.y + dy) * out_->width +
                          rect_.x];
        for (std::int32_t dx = cx0_; dx < cx1_; ++dx) {
          out[dx] = Blend(row[near_x_[dx - cx0_]]);
        }
      }
      return;
    }
    case Method::kArea: {
      // Destination rows this source row covers, in units of h * rh.
      const std::int64_t lo = sy * rh, hi = lo + rh;
      const std::int64_t first = lo / h_, last = (hi - 1) / h_;
      if (last < cy0_ || first >= cy1_) return;
      const std::int32_t lo_x = taps_.empty() ? 0 : taps_.front().sx;
      const std::int32_t hi_x = taps_.empty() ? 0 : taps_.back().sx + 1;
      for (std::int32_t x = lo_x; x < hi_x; ++x) {
        const Pixel p = Blend(row[x]);
        blended_[3 * x] = static_cast<std::uint8_t>(p >> 16);
        blended_[3 * x + 1] = static_cast<std::uint8_t>(p >> 8);
        blended_[3 * x + 2] = static_cast<std::uint8_t>(p);
      }
      const std::int32_t n = cx1_ - cx0_;
      for (std::int32_t i = 0; i < n; ++i) {
        std::uint32_t r = 0, g = 0, b = 0;
        for (std::int32_t t = tap_start_[i]; t < tap_start_[i + 1]; ++t) {
          const std::uint8_t* c = &blended_[3 * taps_[t].sx];
          r += c[0] * taps_[t].weight;
          g += c[1] * taps_[t].weight;
          b += c[2] * taps_[t].weight;
        }
        row_sum_[3 * i] = r;
        row_sum_[3 * i + 1] = g;
        row_sum_[3 * i + 2] = b;
      }
      for (std::int64_t dy = first; dy <= last; ++dy) {
        if (dy < cy0_ || dy >= cy1_) continue;
        const std::uint64_t share = static_cast<std::uint64_t>(
            std::min(hi, (dy + 1) * h_) - std::max(lo, dy * h_));
        for (std::int32_t i = 0; i < 3 * n; ++i) {
          acc_[i] += row_sum_[i] * share;
        }
        if ((dy + 1) * h_ <= hi) {  // nothing below adds to this row
          Finish(static_cast<std::int32_t>(dy), acc_.data());
          std::fill(acc_.begin(), acc_.end(), 0);
        }
      }
      return;
    }
  }
}

void PictureSink::EndFrame() {
  if (!open_) return;
  while (sy_ < h_) PutRow(blank_.data());
  open_ = false;
  out_ = nullptr;
}
