#pragma once
// What a window paints through: the few drawing operations the windows need. The Qt host
// implements it over QPainter; BitmapCanvas draws into a Bitmap24 so that tests and headless
// hosts see the pixels. A canvas is valid only during the paint call that hands it out.
#include <cstdint>
#include <string>
#include <string_view>

#include "ui/bitmap24.h"
#include "ui/geometry.h"

namespace vidora {

// A top-down picture of 32-bit pixels 0xffRRGGBB that someone else owns (the live video and the
// frozen channel pictures); `stride` counts pixels from one row to the next.
struct Image32View {
    const uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;
    bool empty() const { return !pixels || width <= 0 || height <= 0; }
};

// The font of the texts that follow; the default font of the canvas until one is set.
struct TextFont {
    std::string family;
    int pixelSize = 0;
    bool bold = false;
    bool antialiased = true;
};

class Canvas {
  public:
    virtual ~Canvas() = default;
    virtual Size size() const = 0;
    virtual void fillRect(const Rect& rect, Rgb color) = 0;
    // Copies the w x h block at (sx, sy) of the picture to (dx, dy); pixels outside the picture
    // or the canvas are left out.
    virtual void blit(const Bitmap24& picture, int sx, int sy, int w, int h, int dx, int dy) = 0;
    // Scales the sw x sh block at (sx, sy) of the picture to dw x dh at (dx, dy).
    virtual void stretchBlit(const Bitmap24& picture, int sx, int sy, int sw, int sh, int dx,
                             int dy, int dw, int dh) = 0;
    // Scales the source rectangle of the image into the destination rectangle; the source is
    // kept inside the image.
    virtual void drawImage(const Image32View& image, const Rect& source,
                           const Rect& destination) = 0;
    virtual void drawText(int x, int y, std::string_view utf8, Rgb color) = 0;
    virtual Size textExtent(std::string_view utf8) = 0;
    virtual void setFont(const TextFont& font) { (void)font; }
};

// A canvas over a picture. Text is not rasterised (no fonts without a display): it is kept in
// a list with a fixed-cell extent so that tests can check what was written where.
class BitmapCanvas : public Canvas {
  public:
    struct TextItem {
        int x = 0;
        int y = 0;
        std::string text;
        Rgb color;
    };
    static constexpr int kCellWidth = 8;
    static constexpr int kCellHeight = 16;

    explicit BitmapCanvas(Bitmap24& target) : target_(target) {}

    Size size() const override { return {target_.width(), target_.height()}; }
    void fillRect(const Rect& rect, Rgb color) override;
    void blit(const Bitmap24& picture, int sx, int sy, int w, int h, int dx, int dy) override;
    void stretchBlit(const Bitmap24& picture, int sx, int sy, int sw, int sh, int dx, int dy,
                     int dw, int dh) override;
    void drawImage(const Image32View& image, const Rect& source, const Rect& destination) override;
    void drawText(int x, int y, std::string_view utf8, Rgb color) override;
    Size textExtent(std::string_view utf8) override;

    const std::vector<TextItem>& texts() const { return texts_; }
    void clearTexts() { texts_.clear(); }

  private:
    Bitmap24& target_;
    std::vector<TextItem> texts_;
};

}  // namespace vidora
