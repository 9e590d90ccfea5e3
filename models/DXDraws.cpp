#include "DXDraws.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "Bytes.h"

namespace {

constexpr uint32_t kOpaque = 0xFF000000u;

int ClampAlpha(int alpha) {
  return std::clamp(alpha, 0, 255);
}

// One channel of dest blended towards src: dest + (src - dest) * a / 255, rounded to nearest.
inline uint32_t BlendChannel(uint32_t dest, uint32_t srcTimesAlpha, uint32_t inverseAlpha) {
  return (dest * inverseAlpha + srcTimesAlpha + 127) / 255;
}

inline uint32_t BlendPixel(uint32_t dest, uint32_t src, uint32_t alpha) {
  const uint32_t inv = 255 - alpha;
  const uint32_t r = BlendChannel((dest >> 16) & 0xFF, ((src >> 16) & 0xFF) * alpha, inv);
  const uint32_t g = BlendChannel((dest >> 8) & 0xFF, ((src >> 8) & 0xFF) * alpha, inv);
  const uint32_t b = BlendChannel(dest & 0xFF, (src & 0xFF) * alpha, inv);
  return kOpaque | (r << 16) | (g << 8) | b;
}

// The part of rect that lies on an image of the given size.
TRect Clip(const TRect& rect, int width, int height) {
  return TRect{std::max(rect.Left, 0), std::max(rect.Top, 0), std::min(rect.Right, width),
               std::min(rect.Bottom, height)};
}

uint32_t* Row(QImage& image, int y) {
  return reinterpret_cast<uint32_t*>(image.scanLine(y));
}

const uint32_t* Row(const QImage& image, int y) {
  return reinterpret_cast<const uint32_t*>(image.constScanLine(y));
}

[[noreturn]] void ThrowCannotOpen(const std::string& path, const std::string& reason) {
  throw std::runtime_error("Cannot open file \"" + path + "\". " + reason);
}

}  // namespace

QColor ColorFromWin(uint32_t winColor) {
  return QColor(winColor & 0xFF, (winColor >> 8) & 0xFF, (winColor >> 16) & 0xFF);
}

// ---------------------------------------------------------------------------------------------
// TDirectDrawSurface

TDirectDrawSurface::TDirectDrawSurface(int width, int height)
    : image_(width, height, QImage::Format_RGB32) {
  image_.fill(kOpaque);
}

void TDirectDrawSurface::Fill(uint32_t pixelValue) {
  image_.fill(kOpaque | (pixelValue & 0x00FFFFFFu));
}

void TDirectDrawSurface::FillRectAlpha(const TRect& rect, const QColor& colour, int alpha) {
  alpha = ClampAlpha(alpha);
  const TRect r = Clip(rect, image_.width(), image_.height());
  if (alpha == 0 || r.IsEmpty()) return;
  const uint32_t src = colour.rgb();
  for (int y = r.Top; y < r.Bottom; ++y) {
    uint32_t* row = Row(image_, y);
    if (alpha == 255) {
      std::fill(row + r.Left, row + r.Right, kOpaque | src);
    } else {
      for (int x = r.Left; x < r.Right; ++x) row[x] = BlendPixel(row[x], src, alpha);
    }
  }
}

uint32_t TDirectDrawSurface::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height()) {
    throw std::out_of_range("pixel outside the surface");
  }
  return Row(image_, y)[x] & 0x00FFFFFFu;
}

// ---------------------------------------------------------------------------------------------
// TPictureCollectionItem

TPictureCollectionItem::TPictureCollectionItem(std::string name, const QColor& transparentColor)
    : name_(std::move(name)), key_(kOpaque | transparentColor.rgb()) {}

void TPictureCollectionItem::LoadFromFile(const std::string& path) {
  // Opened by hand first, so that a failure carries the system's own reason.
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) ThrowCannotOpen(path, std::strerror(errno));
  QByteArray data;
  char buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
    data.append(buffer, static_cast<qsizetype>(got));
  }
  const bool readFailed = std::ferror(file) != 0;
  const int readErrno = errno;
  std::fclose(file);
  if (readFailed) ThrowCannotOpen(path, std::strerror(readErrno));

  QImage loaded;
  if (!loaded.loadFromData(data, "BMP")) ThrowCannotOpen(path, "Invalid bitmap");
  Assign(loaded);
}

void TPictureCollectionItem::Assign(const QImage& bitmap) {
  picture_ = bitmap.isNull() ? QImage() : bitmap.convertToFormat(QImage::Format_RGB32);
  prepared_ = false;
  spans_.clear();
}

void TPictureCollectionItem::Restore() {
  spans_.clear();
  for (int y = 0; y < picture_.height(); ++y) {
    const uint32_t* row = Row(std::as_const(picture_), y);
    const int width = picture_.width();
    int x = 0;
    while (x < width) {
      while (x < width && (row[x] | kOpaque) == key_) ++x;
      const int start = x;
      while (x < width && (row[x] | kOpaque) != key_) ++x;
      if (x > start) spans_.push_back(Span{y, start, x - start});
    }
  }
  prepared_ = true;
}

void TPictureCollectionItem::Draw(TDirectDrawSurface& surface, int x, int y) {
  if (picture_.isNull()) return;
  if (!prepared_) Restore();
  QImage& dest = surface.Image();
  const int destWidth = dest.width();
  const int destHeight = dest.height();
  for (const Span& span : spans_) {
    const int dy = y + span.Row;
    if (dy < 0 || dy >= destHeight) continue;
    const int from = std::max(x + span.Start, 0);
    const int to = std::min(x + span.Start + span.Length, destWidth);
    if (from >= to) continue;
    const uint32_t* src = Row(std::as_const(picture_), span.Row) + (from - x);
    uint32_t* out = Row(dest, dy) + from;
    for (int i = 0; i < to - from; ++i) out[i] = src[i] | kOpaque;
  }
}

void TPictureCollectionItem::StretchDrawAlpha(TDirectDrawSurface& surface, const TRect& rect,
                                              int alpha) {
  alpha = ClampAlpha(alpha);
  if (picture_.isNull() || alpha == 0 || rect.IsEmpty()) return;
  if (!prepared_) Restore();
  QImage& dest = surface.Image();
  const TRect r = Clip(rect, dest.width(), dest.height());
  if (r.IsEmpty()) return;

  // Nearest source column of every destination column, computed once.
  const int64_t srcWidth = picture_.width();
  const int64_t srcHeight = picture_.height();
  std::vector<int> column(static_cast<size_t>(r.Width()));
  for (int x = r.Left; x < r.Right; ++x) {
    column[static_cast<size_t>(x - r.Left)] =
        static_cast<int>((int64_t(x - rect.Left) * srcWidth) / rect.Width());
  }
  for (int y = r.Top; y < r.Bottom; ++y) {
    const int sy = static_cast<int>((int64_t(y - rect.Top) * srcHeight) / rect.Height());
    const uint32_t* src = Row(std::as_const(picture_), sy);
    uint32_t* out = Row(dest, y);
    for (int x = r.Left; x < r.Right; ++x) {
      const uint32_t pixel = src[column[static_cast<size_t>(x - r.Left)]] | kOpaque;
      if (pixel == key_) continue;
      out[x] = alpha == 255 ? pixel : BlendPixel(out[x], pixel, alpha);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// TDXImageList

TPictureCollectionItem& TDXImageList::Add(const std::string& name, const QColor& transparentColor) {
  items_.push_back(std::make_unique<TPictureCollectionItem>(name, transparentColor));
  return *items_.back();
}

TPictureCollectionItem& TDXImageList::Find(const std::string& name) {
  for (auto& item : items_) {
    if (Bytes::SameText(item->Name(), name)) return *item;
  }
  throw std::runtime_error("Image '" + name + "' not found");
}

// ---------------------------------------------------------------------------------------------
// Circles

void DrawCircleAlpha(TPictureCollectionItem& scratch, TDirectDrawSurface& surface,
                     const TRect& rect, const QColor& c, int alpha) {
  if (rect.IsEmpty()) return;
  QImage bitmap(rect.Width(), rect.Height(), QImage::Format_RGB32);
  bitmap.fill(scratch.TransparentColor());
  if (rect.Width() <= 2 || rect.Height() <= 2) {
    // So thin an ellipse covers its whole box; the rasteriser would leave out some of it.
    bitmap.fill(c);
  } else {
    QPainter painter(&bitmap);
    // Aliased, so every pixel outside the ellipse keeps exactly the key colour.
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(c, 0));
    painter.setBrush(c);
    painter.drawEllipse(QRect(0, 0, rect.Width() - 1, rect.Height() - 1));
  }
  scratch.Assign(bitmap);
  scratch.Restore();
  scratch.StretchDrawAlpha(surface, rect, alpha);
}

// ---------------------------------------------------------------------------------------------
// TDXDraw

TDXDraw::TDXDraw(QWidget* parent)
    : QWidget(parent),
      surface_(std::make_unique<TDirectDrawSurface>(kWidth, kHeight)),
      front_(kWidth, kHeight, QImage::Format_RGB32) {
  setObjectName("DXDraw");
  setFixedSize(kWidth, kHeight);
  setAttribute(Qt::WA_OpaquePaintEvent);
  front_.fill(kOpaque);
}

void TDXDraw::Initialize() {
  surface_ = std::make_unique<TDirectDrawSurface>(kWidth, kHeight);
  initialized_ = true;
  if (OnInitializeSurface) OnInitializeSurface();
  Flip();
}

void TDXDraw::Flip() {
  // Copied rather than shared, so the next drawing on the surface does not detach a new buffer.
  const QImage& back = surface_->Image();
  const size_t rowBytes = static_cast<size_t>(kWidth) * sizeof(uint32_t);
  for (int y = 0; y < kHeight; ++y) {
    std::memcpy(front_.scanLine(y), back.constScanLine(y), rowBytes);
  }
  update();
}

uint32_t TDXDraw::FrontPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= front_.width() || y >= front_.height()) {
    throw std::out_of_range("pixel outside the drawing area");
  }
  return Row(front_, y)[x] & 0x00FFFFFFu;
}

void TDXDraw::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.drawImage(event->rect().topLeft(), front_, event->rect());
}

void TDXDraw::showEvent(QShowEvent* event) {
  if (!initialized_) Initialize();
  QWidget::showEvent(event);
}
