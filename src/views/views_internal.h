// Owners of GDI+ flat-API objects shared by the painters; every object is released by its owner.
#pragma once

#include "views/views.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <memory>

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

}  // namespace views_detail
