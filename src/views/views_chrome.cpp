// The frame painter: off-screen buffer, background, header band and texts, sidebar with the route
// mark and live figures, the section's view and the status line; and the owner-drawn buttons.
#include "views/views_internal.h"

#include "locale/locale.h"

#include <algorithm>
#include <array>
#include <cmath>

using namespace views_detail;
using Gdiplus::GpStatus;

namespace {

constexpr float SIDEBAR_WIDTH = 206.0f;

void paintHeaderBand(Canvas& canvas, const Palette& p, float W)
{
    const Gdiplus::PointF from(SIDEBAR_WIDTH, 0.0f), to(W, 144.0f);
    Gdiplus::GpLineGradient* gradient = nullptr;
    const GpStatus status = gp::GdipCreateLineBrush(&from, &to, p.headerStart, p.headerEnd,
                                                    Gdiplus::WrapModeTile, &gradient);
    recordStatus(canvas, status);
    if (status != Gdiplus::Ok)
        return;
    BrushPtr brush(gradient);
    recordStatus(canvas, gp::GdipFillRectangle(canvas.graphics, brush.get(), SIDEBAR_WIDTH, 0.0f, W - SIDEBAR_WIDTH,
                                               144.0f));
}

const wchar_t* sectionHint(Section section)
{
    return section == Section::Atlas ? atlasHint() : UiText(static_cast<UiStringKey>(9 + static_cast<int>(section)));
}

void paintHeaderTexts(Canvas& canvas, const ViewState& app)
{
    const Palette& p = app.palette;
    const float W = app.clientWidthDip;
    const int section = static_cast<int>(app.currentSection);
    drawText(canvas, std::wstring_view(L"FIELD STATION   /   01"), {225, 22, 400, 18},
             {.size = 10.5f, .colour = p.muted, .bold = true});
    drawLabel(canvas, UiText(static_cast<UiStringKey>(5 + section)), {224, 67, W - 460, 47},
              {.size = 32.0f, .colour = p.ink, .georgia = true});
    if (app.currentSection != Section::Preferences)
        drawLabel(canvas, sectionHint(app.currentSection), {225, 119, W - 252, 22},
                  {.size = 13.0f, .colour = p.muted});
}

void paintRouteMark(Canvas& canvas, const Palette& p)
{
    drawLine(canvas, p.routeLine, 2.0f, 26, 96, 77, 72);
    drawLine(canvas, p.routeLine, 2.0f, 77, 72, 104, 124);
    drawLine(canvas, p.apricot, 2.0f, 104, 124, 178, 106);
    fillEllipse(canvas, {19, 89, 14, 14}, p.cobalt);
    fillEllipse(canvas, {72, 67, 10, 10}, p.cobalt);
    fillEllipse(canvas, {98, 118, 12, 12}, p.apricot);
    fillEllipse(canvas, {173, 101, 10, 10}, p.apricot);
}

void paintSidebar(Canvas& canvas, const ViewState& app, const Library& library)
{
    const Palette& p = app.palette;
    const float H = app.clientHeightDip;
    fillRect(canvas, {0, 0, SIDEBAR_WIDTH, H}, p.paper);
    drawLine(canvas, p.line, 1.0f, SIDEBAR_WIDTH, 57, SIDEBAR_WIDTH, H - 40);
    paintRouteMark(canvas, p);
    drawText(canvas, std::wstring_view(L"KESTRUNE"), {24, 24, 165, 27}, {.size = 21.0f, .colour = p.cobalt, .bold = true});
    drawLabel(canvas, UiText(UiStringKey::Tagline), {25, 126, 157, 39}, {.size = 12.0f, .colour = p.muted});

    const auto pinned = std::count_if(library.stories.begin(), library.stories.end(),
                                      [](const Story& story) { return story.saved; });
    drawText(canvas, std::wstring_view(std::to_wstring(pinned)), {26, H - 215, 145, 54},
             {.size = 43.0f, .colour = p.cobalt, .georgia = true});
    drawLabel(canvas, UiText(UiStringKey::SectionBoard), {27, H - 157, 155, 26}, {.size = 13.0f, .colour = p.muted});
    drawLabel(canvas, connectionsLine(library.links.size()), {27, H - 131, 160, 26},
              {.size = 12.0f, .colour = p.muted});
    drawText(canvas, std::wstring_view(formatLocalDateTime(currentUnixSeconds(), false)), {26, H - 93, 160, 27},
             {.size = 21.0f, .colour = p.ink});
    drawText(canvas, std::wstring_view(formatUtcOffset()), {27, H - 65, 160, 20}, {.size = 11.0f, .colour = p.muted});
}

void paintStatusLine(Canvas& canvas, const ViewState& app)
{
    const float W = app.clientWidthDip, H = app.clientHeightDip;
    fillRect(canvas, {0, H - 38, W, 38}, app.statusIsError ? app.palette.statusErrorBackground : app.palette.statusBackground);
    const std::wstring_view text = app.statusText.empty() ? std::wstring_view(UiText(UiStringKey::Ready))
                                                          : std::wstring_view(app.statusText);
    drawText(canvas, text, statusTextRect(W, H, app.unsavedChanges),
             {.size = 12.0f, .colour = app.statusIsError ? app.palette.statusErrorText : app.palette.muted});
}

void paintSection(Canvas& canvas, ViewState& app, const Library& library)
{
    switch (app.currentSection) {
    case Section::Discover:    paintDiscover(canvas, app, library); break;
    case Section::Board:       paintBoard(canvas, app, library); break;
    case Section::Atlas:       paintAtlas(canvas, app, library); break;
    case Section::Preferences: paintPreferences(canvas, app, library); break;
    }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Pure parts

DipRect statusTextRect(float width, float height, bool unsavedChanges)
{
    return {16.0f, height - 29.0f, width - (unsavedChanges ? 180.0f : 32.0f), 24.0f};
}

std::wstring connectionsLine(std::size_t links)
{
    return std::to_wstring(links) + L" " + UiText(UiStringKey::Connections);
}

ButtonColours buttonColours(ControlId id, const ButtonLook& look, const Palette& p)
{
    const ButtonColours strong{p.cobalt, p.card};
    ButtonColours colours{p.card, p.ink};
    if (id >= ID_SECTION_DISCOVER && id <= ID_SECTION_PREFERENCES)
        colours = id - ID_SECTION_DISCOVER == static_cast<int>(look.section) ? strong : ButtonColours{p.paper, p.muted};
    else if (id == ID_REFRESH || id == ID_PIN)
        colours = strong;
    else if (id == ID_SAVE_NOTE)
        colours = {p.cobaltTint, p.cobalt};
    else if (id == ID_CONNECT && look.linkMode)
        colours = strong;
    else if ((id == ID_PLATE_0 && look.requestedPlate == 0) || (id == ID_PLATE_1 && look.requestedPlate == 1))
        colours = strong;
    else if (id == ID_HIDE)
        colours = {p.paper, p.ink};
    else if (id == ID_CLOSE)
        colours = {look.section == Section::Preferences ? p.card : p.paper, p.ink};

    if (look.pressed)
        colours.fill = p.buttonPressed;
    if (look.disabled)
        colours = {p.paper, p.muted};
    return colours;
}

DipRect buttonLabelRect(float w, float h, std::wstring_view label)
{
    // A lone glyph wider than the inset rectangle (the 17 px "×" in its 30 dip button) is not
    // drawn at all by GDI+; centred, the wider rectangle puts it exactly where the inset one would.
    if (label.size() == 1)
        return {1, 1, w - 2, h - 2};
    return {8, 1, w - 16, h - 2};
}

float buttonLabelSize(ControlId id, Section section)
{
    return id == ID_CLOSE && section != Section::Preferences ? 17.0f : 13.5f;
}

TextStyle buttonLabelStyle(ControlId id, Section section, std::uint32_t colour)
{
    return {.size = buttonLabelSize(id, section), .colour = colour, .bold = true, .centred = true};
}

// ---------------------------------------------------------------------------------------------
// Painting

void paintFrame(Canvas& canvas, ViewState& app, const Library& library)
{
    const float W = app.clientWidthDip, H = app.clientHeightDip;
    fillRect(canvas, {0, 0, W, H}, app.palette.paper);
    paintHeaderBand(canvas, app.palette, W);
    paintSidebar(canvas, app, library);
    paintHeaderTexts(canvas, app);
    paintSection(canvas, app, library);
    paintKeyboardCues(canvas, app, library);
    paintStatusLine(canvas, app);
}

namespace {

ChromeKey chromeKeyOf(const ViewState& app, const Library& library, int width, int height)
{
    return ChromeKey{.width = width,
                     .height = height,
                     .scale = app.dpiScale,
                     .section = app.currentSection,
                     .language = static_cast<int>(currentUiLanguage),
                     .palette = app.palette,
                     .pinned = std::count_if(library.stories.begin(), library.stories.end(),
                                             [](const Story& story) { return story.saved; }),
                     .links = library.links.size(),
                     .clock = formatLocalDateTime(currentUnixSeconds(), false),
                     .utcOffset = formatUtcOffset(),
                     .status = app.statusText,
                     .statusIsError = app.statusIsError,
                     .unsavedChanges = app.unsavedChanges};
}

// The chrome in the order the frame paints it, the section's view left out: the status line comes
// last there too, and no view reaches into its band, so the frame can take it from here afterwards.
void paintChrome(Canvas& canvas, ViewState& app, const Library& library)
{
    const float W = app.clientWidthDip, H = app.clientHeightDip;
    fillRect(canvas, {0, 0, W, H}, app.palette.paper);
    paintHeaderBand(canvas, app.palette, W);
    paintSidebar(canvas, app, library);
    paintHeaderTexts(canvas, app);
    paintStatusLine(canvas, app);
}

// The first device row the status line's band touches, anti-aliased edge included.
int statusBandTop(float heightDip, float scale)
{
    return std::max(0, static_cast<int>(std::floor((heightDip - 38.0f) * scale)) - 1);
}

}  // namespace

namespace {

void copyDirty(HDC dc, HDC frame, int width, int height, const RECT& dirty)
{
    RECT area{0, 0, width, height};
    IntersectRect(&area, &area, &dirty);
    BitBlt(dc, area.left, area.top, area.right - area.left, area.bottom - area.top, frame, area.left, area.top,
           SRCCOPY);
}

}  // namespace

void paintKeptFrame(HDC dc, ViewState& app, const Library& library, int width, int height, const RECT& dirty)
{
    width = std::max(1, width);
    height = std::max(1, height);
    DrawingKit* kit = drawingKitOf(app);
    KeptFrame& kept = kit->frame;
    const HDC chrome = kept.chrome.reserve(width, height);
    const HDC frame = kept.frame.reserve(width, height);
    if (!chrome || !frame)
        return;

    const ChromeKey key = chromeKeyOf(app, library, width, height);
    if (kept.current && kept.key && *kept.key == key) {
        copyDirty(dc, frame, width, height, dirty);
        return;
    }
    kept.current = false;
    if (!kept.key || *kept.key != key) {
        Canvas canvas;
        const bool drawn = beginCanvas(canvas, chrome, app.dpiScale, kit);
        if (drawn)
            paintChrome(canvas, app, library);
        endCanvas(canvas);
        // A chrome drawn with a failure is used once and drawn again next time.
        kept.key = drawn && canvas.status == 0 ? std::optional<ChromeKey>(key) : std::nullopt;
    }
    BitBlt(frame, 0, 0, width, height, chrome, 0, 0, SRCCOPY);
    Canvas canvas;
    const bool began = beginCanvas(canvas, frame, app.dpiScale, kit);
    if (began) {
        paintSection(canvas, app, library);
        paintKeyboardCues(canvas, app, library);
    }
    endCanvas(canvas);
    const int band = statusBandTop(app.clientHeightDip, app.dpiScale);
    BitBlt(frame, 0, band, width, height - band, chrome, 0, band, SRCCOPY);
    // A frame drawn with a failure is shown once and composed again next time.
    kept.current = began && canvas.status == 0 && kept.key && *kept.key == key;
    copyDirty(dc, frame, width, height, dirty);
}

void markFrameStale(const ViewState& app)
{
    if (DrawingKit* kit = app.drawingKit.get())
        kit->frame.current = false;
}

void paintWindow(HDC dc, ViewState& app, const Library& library, const RECT& dirty)
{
    RECT client{};
    GetClientRect(app.mainWindow, &client);
    paintKeptFrame(dc, app, library, client.right - client.left, client.bottom - client.top, dirty);
}

LabelLayout paintButton(Canvas& canvas, const ButtonFace& face, const Palette& palette)
{
    const float w = face.width, h = face.height;
    fillRect(canvas, {0, 0, w, h}, palette.paper);
    fillRoundedRect(canvas, {1, 1, w - 2, h - 2}, 7.0f, face.colours.fill, face.focused ? palette.cobalt : 0u);
    return drawLabel(canvas, face.label, buttonLabelRect(w, h, face.label),
                     buttonLabelStyle(face.id, face.section, face.colours.text), BUTTON_TWO_LINE_ROOM);
}

void drawOwnerButton(const DRAWITEMSTRUCT& item, ViewState& app)
{
    const int width = item.rcItem.right - item.rcItem.left;
    const int height = item.rcItem.bottom - item.rcItem.top;
    if (width <= 0 || height <= 0)
        return;
    // Drawn off-screen first so a relabelled button never shows a half-drawn frame.
    MemoryDc memory(CreateCompatibleDC(item.hDC));
    GdiBitmap bitmap(memory ? CreateCompatibleBitmap(item.hDC, width, height) : nullptr);
    if (!memory || !bitmap)
        return;
    HGDIOBJ previous = SelectObject(memory.get(), bitmap.get());

    const ControlId id = static_cast<ControlId>(item.CtlID);
    const ButtonLook look{.section = app.currentSection,
                          .licencesShown = app.licencesShown,
                          .linkMode = app.linkMode,
                          .requestedPlate = app.requestedPlate,
                          .pressed = (item.itemState & ODS_SELECTED) != 0,
                          .disabled = (item.itemState & ODS_DISABLED) != 0};
    const ButtonColours colours = buttonColours(id, look, app.palette);
    const bool focused = (item.itemState & ODS_FOCUS) != 0;

    Canvas canvas;
    if (beginCanvas(canvas, memory.get(), app.dpiScale, drawingKitOf(app))) {
        std::array<wchar_t, 400> label{};
        const int length = GetWindowTextW(item.hwndItem, label.data(), static_cast<int>(label.size()));
        paintButton(canvas,
                    {.id = id,
                     .section = app.currentSection,
                     .width = static_cast<float>(width) / app.dpiScale,
                     .height = static_cast<float>(height) / app.dpiScale,
                     .label = std::wstring_view(label.data(), static_cast<std::size_t>(std::max(0, length))),
                     .colours = colours,
                     .focused = focused},
                    app.palette);
    }
    endCanvas(canvas);

    BitBlt(item.hDC, item.rcItem.left, item.rcItem.top, width, height, memory.get(), 0, 0, SRCCOPY);
    SelectObject(memory.get(), previous);
}
