// Owners of GDI+ flat-API objects shared by the painters; every object is released by its owner.
#pragma once

#include "views/views.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <tuple>

namespace views_detail {

namespace gp = Gdiplus::DllExports;
using Gdiplus::GpBrush;
using Gdiplus::GpFont;
using Gdiplus::GpFontFamily;
using Gdiplus::GpGraphics;
using Gdiplus::GpPath;
using Gdiplus::GpPen;
using Gdiplus::GpStringFormat;

struct BrushRelease {
    void operator()(GpBrush* p) const noexcept { gp::GdipDeleteBrush(p); }
};
struct PenRelease {
    void operator()(GpPen* p) const noexcept { gp::GdipDeletePen(p); }
};
struct PathRelease {
    void operator()(GpPath* p) const noexcept { gp::GdipDeletePath(p); }
};
struct FontRelease {
    void operator()(GpFont* p) const noexcept { gp::GdipDeleteFont(p); }
};
struct FamilyRelease {
    void operator()(GpFontFamily* p) const noexcept { gp::GdipDeleteFontFamily(p); }
};
struct FormatRelease {
    void operator()(GpStringFormat* p) const noexcept { gp::GdipDeleteStringFormat(p); }
};
struct GraphicsRelease {
    void operator()(GpGraphics* p) const noexcept { gp::GdipDeleteGraphics(p); }
};

using BrushPtr = std::unique_ptr<GpBrush, BrushRelease>;
using PenPtr = std::unique_ptr<GpPen, PenRelease>;
using PathPtr = std::unique_ptr<GpPath, PathRelease>;
using FontPtr = std::unique_ptr<GpFont, FontRelease>;
using FamilyPtr = std::unique_ptr<GpFontFamily, FamilyRelease>;
using FormatPtr = std::unique_ptr<GpStringFormat, FormatRelease>;
using GraphicsPtr = std::unique_ptr<GpGraphics, GraphicsRelease>;

// A solid brush; null (status recorded) when it cannot be created.
BrushPtr solidBrush(Canvas& canvas, std::uint32_t colour);

// Owners of plain GDI objects for the off-screen buffer.
struct DcRelease {
    void operator()(HDC dc) const noexcept { DeleteDC(dc); }
};
struct ObjectRelease {
    void operator()(HGDIOBJ object) const noexcept { DeleteObject(object); }
};
using MemoryDc = std::unique_ptr<std::remove_pointer_t<HDC>, DcRelease>;
using GdiBitmap = std::unique_ptr<std::remove_pointer_t<HBITMAP>, ObjectRelease>;

// A picture in a top-down 32-bit DIB section: premultiplied colour and coverage, to be blended
// over what is already drawn. It keeps its own memory DC with the bitmap selected for its whole
// life (the DC goes first), since selecting bitmaps in turn costs more than blending small ones.
struct Sprite {
    GdiBitmap bitmap;
    MemoryDc dc;
    std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    RECT opaque{};  // wholly opaque pixels, copied rather than blended; empty until found

    explicit operator bool() const noexcept { return pixels != nullptr; }
    std::size_t bytes() const noexcept { return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4; }
};

// Transparent; without pixels when the bitmap or its DC cannot be had.
Sprite makeSprite(int width, int height);

// Finds a large rectangle of wholly opaque pixels about the middle, once the pixels are final.
void findOpaqueCore(Sprite& sprite);

// A screen-compatible bitmap in its own memory DC, grown on demand. GDI+ draws on it exactly as on
// the window's paint buffer; on a 32-bit DIB section some implementations draw by other means.
class Offscreen {
public:
    Offscreen() = default;
    Offscreen(const Offscreen&) = delete;
    Offscreen& operator=(const Offscreen&) = delete;
    ~Offscreen();

    HDC reserve(int width, int height);  // at least this size; null when it cannot be had

private:
    MemoryDc dc_;
    GdiBitmap bitmap_;
    HGDIOBJ original_ = nullptr;
    int width_ = 0;
    int height_ = 0;
};

// Copies the device pixels `area` of the canvas's surface into `kept` at (0, 0), or back from it,
// through the device context GDI+ hands out, flushed. False when either side cannot be had.
bool copyThroughOffscreen(Canvas& canvas, Offscreen& kept, const RECT& area, bool keep);

// Paints twice into a fresh sprite, over black and over white, through a canvas whose dip (0, 0)
// lies on device pixel (originX, originY). The two results give every pixel's colour and
// coverage, so the sprite blended later looks as if painted in place, anti-aliased edges included.
Sprite paintSprite(Offscreen& scratch, int width, int height, const Canvas& like, float originX, float originY,
                   const std::function<void(Canvas&)>& paint, int& status);

// Paints once over what a sprite already holds, dip (0, 0) on device pixel (originX, originY).
// The alpha of the painted pixels is left to the caller.
bool paintOntoSprite(Offscreen& scratch, const Sprite& sprite, const Canvas& like, float originX, float originY,
                     const std::function<void(Canvas&)>& paint, int& status);

// Blends a sprite with its top-left corner on device pixel (x, y) of the canvas's surface.
void blendSprite(Canvas& target, const Sprite& sprite, int x, int y);
// The same, stretched to width x height device pixels.
void blendSpriteScaled(Canvas& target, const Sprite& sprite, int x, int y, int width, int height);

}  // namespace views_detail

// The board's pictures kept between paints (defined with the board painter).
struct BoardPictures;
struct BoardPicturesRelease {
    void operator()(BoardPictures* pictures) const noexcept;
};

using LabelKey = std::tuple<std::wstring, int, int, int, int, int, bool, bool>;

// Everything the chrome (background, header band and texts, sidebar, status line) shows; its kept
// surface is drawn again only when one of these changes.
struct ChromeKey {
    int width = 0;
    int height = 0;
    float scale = 1.0f;
    Section section = Section::Discover;
    int language = 0;
    Palette palette;
    long long pinned = 0;
    std::size_t links = 0;
    std::wstring clock;
    std::wstring utcOffset;
    std::wstring status;
    bool statusIsError = false;
    bool unsavedChanges = false;

    bool operator==(const ChromeKey&) const = default;
};

// The chrome drawn once, and the frame it is composed into: a paint copies the chrome, draws the
// section's view over it and puts the status line back, instead of drawing the chrome every time.
struct KeptFrame {
    views_detail::Offscreen chrome;
    views_detail::Offscreen frame;
    std::optional<ChromeKey> key;  // what `chrome` holds; empty: nothing usable yet
    // `frame` holds the whole picture of the state it was composed from: every change of that
    // state goes through markFrameStale, so a paint of an unchanged window is a copy of it.
    bool current = false;
};

// The atlas view as last drawn with the full plate: its device pixels (background and plate)
// copied back while nothing it depends on has changed, so a new status, the clock or the focus do
// not filter the plate again.
struct KeptPlateKey {
    std::int32_t plate = -1;  // with the same plate, zoom and pan, a bitmap at a reused address draws the same
    const void* bitmap = nullptr;
    const void* levels = nullptr;
    double zoom = 0.0;
    double panX = 0.0;
    double panY = 0.0;
    DipRect view;
    float scale = 1.0f;
    float offsetX = 0.0f;  // the canvas's translation, device pixels
    float offsetY = 0.0f;
    std::uint32_t paper = 0;
    RECT device{};         // the pixels kept

    bool operator==(const KeptPlateKey& other) const
    {
        return plate == other.plate && bitmap == other.bitmap && levels == other.levels && zoom == other.zoom
            && panX == other.panX && panY == other.panY && view == other.view && scale == other.scale
            && offsetX == other.offsetX && offsetY == other.offsetY && paper == other.paper
            && EqualRect(&device, &other.device);
    }
};

struct KeptPlate {
    views_detail::Offscreen pixels;
    std::optional<KeptPlateKey> key;
};

struct DrawingKit {
    // A family that could not be found stays null and keeps its status, so every text in that
    // family records the same failure as creating it per call would.
    views_detail::FamilyPtr segoe;
    views_detail::FamilyPtr georgia;
    int segoeStatus = -1;    // -1 not tried yet
    int georgiaStatus = -1;
    std::map<std::tuple<int, bool, bool>, views_detail::FontPtr> fonts;  // (size in 1/100 px, bold, georgia)
    views_detail::FormatPtr leftFormat;
    views_detail::FormatPtr centredFormat;
    views_detail::FormatPtr leftLabelFormat;
    views_detail::FormatPtr centredLabelFormat;
    // Fitted labels by (text; width, height, size, scale and two-line room in 1/100; bold, georgia).
    std::map<LabelKey, LabelLayout> labels;
    std::unique_ptr<BoardPictures, BoardPicturesRelease> board;
    KeptFrame frame;
    KeptPlate plate;
};
