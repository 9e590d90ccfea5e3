// An animated GIF of a sequence of pictures of one size, written with giflib.
#pragma once

#include <QImage>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace GifExport {

// One frame of the GIF: the picture it shows, for Delay hundredths of a second.
struct TStep {
  size_t Picture = 0;
  int Delay = 0;
  bool operator==(const TStep&) const = default;
};

// The frames for pictures shown durationsMs each. Delays are rounded on the running total, so that
// the rounding error never adds up over the sequence. A picture of 0 ms is left out (the next one
// takes its place at once), but a last one stays, with no delay, when the GIF plays once (the
// last frame of a funlight that does not repeat has no duration: it stays lit) or when all are
// 0 ms.
std::vector<TStep> Steps(const std::vector<int>& durationsMs, bool loop);

// The GIF file of the pictures, all of the backdrop's size, in one palette: colours drawn over
// the backdrop (the most used 128 of them) are kept exact, the other entries are the backdrop's
// and the other drawn colours, reduced when there are more, every pixel takes its nearest entry.
// loop: play for ever; otherwise once. Throws std::runtime_error when giflib fails.
std::vector<uint8_t> Encode(const std::vector<QImage>& pictures,
                            const std::vector<int>& durationsMs, const QImage& backdrop, bool loop);

}  // namespace GifExport
