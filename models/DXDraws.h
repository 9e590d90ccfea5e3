// Drawing layer of the preview: a back-buffered drawing area, its surface with blended fills,
// and a list of named pictures drawn with a transparent key colour. Raster painting on QImage.
#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// A rectangle by its edges, Right and Bottom exclusive (as a Windows RECT).
struct TRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;

  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
};

// Windows colour value 0x00BBGGRR (red in the low byte) as a QColor.
QColor ColorFromWin(uint32_t winColor);

// The surface all drawing goes to: a 32-bit RGB image. Pixel values are 0x00RRGGBB.
class TDirectDrawSurface {
 public:
  TDirectDrawSurface(int width, int height);

  int Width() const { return image_.width(); }
  int Height() const { return image_.height(); }

  // Whole surface to one pixel value 0xRRGGBB (0xECE9D8: red 236, green 233, blue 216).
  void Fill(uint32_t pixelValue);
  // Blends colour over the rectangle: result = dest + (colour - dest) * alpha / 255, rounded.
  // The rectangle is clipped to the surface; alpha is clamped to 0..255.
  void FillRectAlpha(const TRect& rect, const QColor& colour, int alpha);

  // Pixel value 0xRRGGBB at (x, y); throws std::out_of_range outside the surface.
  uint32_t Pixel(int x, int y) const;

  QImage& Image() { return image_; }
  const QImage& Image() const { return image_; }

 private:
  QImage image_;
};

// One named picture of a TDXImageList. Pixels of exactly the key colour are never drawn.
class TPictureCollectionItem {
 public:
  TPictureCollectionItem(std::string name, const QColor& transparentColor);

  const std::string& Name() const { return name_; }
  QColor TransparentColor() const { return QColor::fromRgb(key_); }
  bool HasPicture() const { return !picture_.isNull(); }
  int Width() const { return picture_.width(); }
  int Height() const { return picture_.height(); }

  // Reads a Windows bitmap. On failure throws std::runtime_error
  // "Cannot open file "<path>". <reason>" and keeps the picture it had.
  void LoadFromFile(const std::string& path);
  // Takes a copy of an off-screen bitmap.
  void Assign(const QImage& bitmap);
  // Prepares the picture for drawing after it changed (drawing does it too when it was not done).
  void Restore();

  // Unscaled, top-left corner at (x, y), clipped to the surface.
  void Draw(TDirectDrawSurface& surface, int x, int y);
  // Scaled into rect (nearest pixel), blended with alpha 0..255 (clamped).
  void StretchDrawAlpha(TDirectDrawSurface& surface, const TRect& rect, int alpha);

 private:
  struct Span {
    int Row;
    int Start;
    int Length;
  };

  std::string name_;
  uint32_t key_;  // 0xFFRRGGBB, as the pixels of picture_
  QImage picture_;
  bool prepared_ = false;
  std::vector<Span> spans_;  // runs of non-key pixels, row by row
};

// Named picture slots. The list owns its items; references stay valid until Clear.
class TDXImageList {
 public:
  TPictureCollectionItem& Add(const std::string& name, const QColor& transparentColor);
  // Slot by name, without regard to case; throws std::runtime_error "Image '<name>' not found".
  TPictureCollectionItem& Find(const std::string& name);
  int Count() const { return static_cast<int>(items_.size()); }
  TPictureCollectionItem& Items(int index) { return *items_.at(static_cast<size_t>(index)); }
  void Clear() { items_.clear(); }

 private:
  std::vector<std::unique_ptr<TPictureCollectionItem>> items_;
};

// Draws an ellipse filling rect in colour c, through the scratch slot (whose key colour must not
// be c for it to show), blended with alpha. A rectangle without area draws nothing.
void DrawCircleAlpha(TPictureCollectionItem& scratch, TDirectDrawSurface& surface,
                     const TRect& rect, const QColor& c, int alpha);

// The drawing area: shows the front image; all drawing goes to the back surface until Flip.
class TDXDraw : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 257;
  static constexpr int kHeight = 425;

  explicit TDXDraw(QWidget* parent = nullptr);

  TDirectDrawSurface& Surface() { return *surface_; }

  // Creates the surface afresh, runs OnInitializeSurface and shows the result.
  void Initialize();
  bool Initialized() const { return initialized_; }
  // Shows what was drawn; the back surface keeps its content.
  void Flip();

  // Pixel value 0xRRGGBB of the shown image; throws std::out_of_range outside it.
  uint32_t FrontPixel(int x, int y) const;
  const QImage& FrontImage() const { return front_; }

  // Run whenever the surface is (re)created.
  std::function<void()> OnInitializeSurface;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  std::unique_ptr<TDirectDrawSurface> surface_;
  QImage front_;
  bool initialized_ = false;
};
