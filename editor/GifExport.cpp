#include "GifExport.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <climits>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <unordered_map>
#include <utility>

namespace GifExport {

std::vector<TStep> Steps(const std::vector<int>& durationsMs, bool loop) {
  std::vector<TStep> steps;
  long long totalMs = 0, given = 0;  // the time so far, the hundredths given out so far
  for (size_t i = 0; i < durationsMs.size(); ++i) {
    if (durationsMs[i] <= 0) continue;
    totalMs += durationsMs[i];
    const long long until = (totalMs + 5) / 10;
    steps.push_back({i, static_cast<int>(until - given)});
    given = until;
  }
  if (!durationsMs.empty() && durationsMs.back() <= 0 && (!loop || steps.empty()))
    steps.push_back({durationsMs.size() - 1, 0});
  return steps;
}

namespace {

constexpr size_t PaletteSize = 256;
constexpr size_t MaxExactLights = 128;

using TCounts = std::unordered_map<QRgb, size_t>;

int Distance(QRgb a, QRgb b) {
  const int r = qRed(a) - qRed(b), g = qGreen(a) - qGreen(b), bl = qBlue(a) - qBlue(b);
  return r * r + g * g + bl * bl;
}

// The nearest entry of a palette for each colour, remembered: pictures repeat few colours often.
class TNearest {
 public:
  explicit TNearest(const std::vector<QRgb>& palette) : palette_(palette) {}
  uint8_t operator()(QRgb colour) {
    const auto [it, added] = cache_.try_emplace(colour & 0xFFFFFF, 0);
    if (added) {
      int best = INT_MAX;
      for (size_t i = 0; i < palette_.size(); ++i) {
        const int d = Distance(it->first, palette_[i]);
        if (d < best) std::tie(best, it->second) = std::pair(d, static_cast<uint8_t>(i));
      }
    }
    return it->second;
  }

 private:
  const std::vector<QRgb>& palette_;
  std::unordered_map<QRgb, uint8_t> cache_;
};

const QRgb* Row(const QImage& image, int y) {
  return reinterpret_cast<const QRgb*>(image.constScanLine(y));
}

// The colours in at most room entries: all of them when they fit, otherwise giflib's median cut
// with each entry moved to the mean of the colours it stands for (the cut itself keeps only 5 bits
// a channel, which would shift even a plain background).
std::vector<QRgb> Reduce(const TCounts& counts, size_t room) {
  std::vector<QRgb> colours;
  if (counts.size() <= room) {
    for (const auto& [colour, count] : counts) colours.push_back(colour);
    std::sort(colours.begin(), colours.end());
    return colours;
  }
  // The cut weighs each colour by its pixels: one row holding every pixel.
  std::vector<GifByteType> red, green, blue;
  for (const auto& [colour, count] : counts) {
    red.insert(red.end(), count, static_cast<GifByteType>(qRed(colour)));
    green.insert(green.end(), count, static_cast<GifByteType>(qGreen(colour)));
    blue.insert(blue.end(), count, static_cast<GifByteType>(qBlue(colour)));
  }
  std::vector<GifByteType> out(red.size());
  int size = static_cast<int>(room);
  std::vector<GifColorType> map(room);
  if (GifQuantizeBuffer(static_cast<unsigned>(red.size()), 1, &size, red.data(), green.data(),
                        blue.data(), out.data(), map.data()) == GIF_ERROR)
    throw std::runtime_error("The colours of the picture could not be reduced.");
  for (int i = 0; i < size; ++i) colours.push_back(qRgb(map[i].Red, map[i].Green, map[i].Blue));
  std::vector<std::array<size_t, 4>> sums(colours.size());
  TNearest nearest(colours);
  for (const auto& [colour, count] : counts) {
    std::array<size_t, 4>& s = sums[nearest(colour)];
    s[0] += qRed(colour) * count, s[1] += qGreen(colour) * count, s[2] += qBlue(colour) * count;
    s[3] += count;
  }
  for (size_t i = 0; i < colours.size(); ++i) {
    const auto [r, g, b, total] = sums[i];
    if (total > 0)
      colours[i] =
          qRgb(static_cast<int>((r + total / 2) / total), static_cast<int>((g + total / 2) / total),
               static_cast<int>((b + total / 2) / total));
  }
  return colours;
}

// The lights' colours (those of pixels that differ from the backdrop) first and exact, the most
// used first; the backdrop's and the other lights' colours reduced into the rest.
std::vector<QRgb> Palette(const std::vector<QImage>& pictures, const QImage& backdrop) {
  TCounts lights, rest;
  for (int y = 0; y < backdrop.height(); ++y)
    for (int x = 0; x < backdrop.width(); ++x) ++rest[Row(backdrop, y)[x] & 0xFFFFFF];
  for (const QImage& picture : pictures)
    for (int y = 0; y < backdrop.height(); ++y)
      for (int x = 0; x < backdrop.width(); ++x)
        if (const QRgb c = Row(picture, y)[x] & 0xFFFFFF; c != (Row(backdrop, y)[x] & 0xFFFFFF))
          ++lights[c];
  std::vector<std::pair<size_t, QRgb>> byUse;
  for (const auto& [colour, count] : lights) byUse.emplace_back(count, colour);
  std::sort(byUse.begin(), byUse.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first > b.first : a.second < b.second;
  });
  std::vector<QRgb> palette;
  for (const auto& [count, colour] : byUse) {
    if (palette.size() < MaxExactLights)
      palette.push_back(colour);
    else
      rest[colour] += count;
  }
  for (QRgb c : Reduce(rest, PaletteSize - palette.size())) palette.push_back(c);
  palette.resize(PaletteSize, 0);  // a GIF colour table has a power of two entries
  return palette;
}

int Append(GifFileType* gif, const GifByteType* data, int length) {
  auto* bytes = static_cast<std::vector<uint8_t>*>(gif->UserData);
  bytes->insert(bytes->end(), data, data + length);
  return length;
}

}  // namespace

std::vector<uint8_t> Encode(const std::vector<QImage>& pictures,
                            const std::vector<int>& durationsMs, const QImage& backdrop,
                            bool loop) {
  const QImage back = backdrop.convertToFormat(QImage::Format_RGB32);
  std::vector<QImage> frames;
  for (const QImage& picture : pictures) {
    if (picture.size() != back.size())
      throw std::invalid_argument("The pictures of an animation differ in size.");
    frames.push_back(picture.convertToFormat(QImage::Format_RGB32));
  }
  const std::vector<QRgb> palette = Palette(frames, back);
  std::vector<GifColorType> table;
  for (QRgb c : palette)
    table.push_back({static_cast<GifByteType>(qRed(c)), static_cast<GifByteType>(qGreen(c)),
                     static_cast<GifByteType>(qBlue(c))});

  std::vector<uint8_t> bytes;
  int error = 0;
  std::unique_ptr<GifFileType, void (*)(GifFileType*)> gif(
      EGifOpen(&bytes, Append, &error), [](GifFileType* g) { EGifCloseFile(g, nullptr); });
  if (!gif) throw std::runtime_error(GifErrorString(error));
  const auto check = [&](int result) {
    if (result == GIF_ERROR) throw std::runtime_error(GifErrorString(gif->Error));
  };
  const std::unique_ptr<ColorMapObject, void (*)(ColorMapObject*)> map(
      GifMakeMapObject(static_cast<int>(table.size()), table.data()), GifFreeMapObject);
  if (!map) throw std::bad_alloc();
  EGifSetGifVersion(gif.get(), true);
  check(EGifPutScreenDesc(gif.get(), back.width(), back.height(), 8, 0, map.get()));
  if (loop) {
    // The application extension browsers read as the repeat count; 0 repeats for ever.
    const GifByteType count[] = {1, 0, 0};
    check(EGifPutExtensionLeader(gif.get(), APPLICATION_EXT_FUNC_CODE));
    check(EGifPutExtensionBlock(gif.get(), 11, "NETSCAPE2.0"));
    check(EGifPutExtensionBlock(gif.get(), 3, count));
    check(EGifPutExtensionTrailer(gif.get()));
  }

  TNearest nearest(palette);
  std::vector<GifPixelType> line(static_cast<size_t>(back.width()));
  for (const TStep& step : Steps(durationsMs, loop)) {
    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSE_DO_NOT;
    control.DelayTime = step.Delay;
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType extension[4];
    EGifGCBToExtension(&control, extension);
    check(EGifPutExtension(gif.get(), GRAPHICS_EXT_FUNC_CODE, 4, extension));
    check(EGifPutImageDesc(gif.get(), 0, 0, back.width(), back.height(), false, nullptr));
    const QImage& frame = frames.at(step.Picture);
    for (int y = 0; y < back.height(); ++y) {
      for (int x = 0; x < back.width(); ++x)
        line[static_cast<size_t>(x)] = nearest(Row(frame, y)[x]);
      check(EGifPutLine(gif.get(), line.data(), back.width()));
    }
  }
  const int closed = EGifCloseFile(gif.release(), &error);
  if (closed == GIF_ERROR) throw std::runtime_error(GifErrorString(error));
  return bytes;
}

}  // namespace GifExport
