// Where decoders deliver pixels. Each frame is announced with its size and
// then handed over row by row, top to bottom; the sink blends each row over
// the box's background and scales it into a box-sized frame as it arrives,
// so a decoder that reads row by row never holds the whole picture. Used on
// the thread that prepares the picture; one sink per picture.
#ifndef YK_RUNTIME_PICTURE_PICTURE_SINK_H_
#define YK_RUNTIME_PICTURE_PICTURE_SINK_H_

#include <cstdint>
#include <vector>

#include "runtime/picture/picture.h"

// Source pixels one picture may deliver over all its frames: bounds the time
// a many-framed animation can take (a 16384 x 16384 picture is a quarter).
inline constexpr std::int64_t kMaxWorkPixels = std::int64_t{1} << 30;

class PictureSink {
 public:
  // Prepares frames for `box`: opaque, box-sized, placed by its mode.
  explicit PictureSink(const BoxSpec& box);
  // Keeps frames whole at their natural size, straight alpha.
  PictureSink();

  // Where a picture of w x h lands (relative to the box); decoders that can
  // scale while decoding (JPEG) choose their scale from its size.
  Rect Target(std::int32_t w, std::int32_t h) const;

  // Starts a frame of a picture whose natural size is nw x nh, delivered as
  // w x h rows (smaller when the decoder scaled down while decoding). False
  // when a size is outside 1..kMaxPictureSide or the frames would exceed
  // what one picture may hold or cost.
  bool BeginFrame(std::int32_t nw, std::int32_t nh, std::int32_t w,
                  std::int32_t h, std::int32_t delay_ms = 0);
  // The next row of the frame: w pixels, straight alpha. Rows past the
  // frame's height are ignored.
  void PutRow(const Pixel* row);
  // Ends the frame; rows never delivered count as transparent.
  void EndFrame();

  void SetLoopCount(std::int32_t n) { picture_.loop_count = n; }
  std::size_t FrameCount() const { return picture_.frames.size(); }
  // The size the last frame was delivered at (tests check the JPEG scale).
  std::int32_t DeliveredWidth() const { return w_; }
  std::int32_t DeliveredHeight() const { return h_; }
  PreparedPicture Take() { return std::move(picture_); }

 private:
  enum class Method { kCopy, kNearest, kArea };
  struct Tap {
    std::int32_t sx;
    std::uint32_t weight;
  };

  void Finish(std::int32_t dy, const std::uint64_t* acc);
  Pixel Blend(Pixel p) const;

  bool natural_ = false;
  BoxSpec box_;
  PreparedPicture picture_;
  std::int64_t held_ = 0;  // pixels of all frames so far
  std::int64_t work_ = 0;  // source pixels delivered so far

  // The frame under way.
  bool open_ = false;
  Image* out_ = nullptr;
  Rect rect_;                   // the picture's place in the frame
  std::int32_t w_ = 0, h_ = 0;  // delivered size
  std::int32_t cx0_ = 0, cx1_ = 0, cy0_ = 0, cy1_ = 0;  // columns, rows of
                                                        // rect_ inside frame
  Method method_ = Method::kCopy;
  std::int32_t sy_ = 0;                  // next source row
  std::int32_t next_dy_ = 0;             // nearest: next destination row
  std::vector<std::int32_t> near_x_;     // nearest: source column per dx
  std::vector<std::int32_t> tap_start_;  // area: taps of each dx
  std::vector<Tap> taps_;                // area
  std::vector<std::uint8_t> blended_;    // area: one source row, RGB
  std::vector<std::uint32_t> row_sum_;   // area: horizontal sums, RGB
  std::vector<std::uint64_t> acc_;       // area: open destination row
  std::vector<Pixel> blank_;             // a transparent row
};

#endif  // YK_RUNTIME_PICTURE_PICTURE_SINK_H_
