// Views: the drawing kit every section uses (canvas, fills, lines, text), the frame painter with
// its chrome, the owner-drawn buttons, and the per-section painters and mouse handlers.
#pragma once

#include "shell/shell_state.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace Gdiplus {
class GpGraphics;
}

// ---------------------------------------------------------------------------------------------
// Drawing kit

// The drawing context of one paint. `status` keeps the first failing GDI+ status met while
// drawing; drawing never stops on a failure.
struct Canvas {
    Gdiplus::GpGraphics* graphics = nullptr;
    int status = 0;            // a Gdiplus::Status; 0 is Ok
    TextKit* kit = nullptr;    // cached fonts and formats; null creates them per call
};

void recordStatus(Canvas& canvas, int status);

struct TextStyle {
    float size = 13.0f;                // pixels (dip under the world transform)
    std::uint32_t colour = 0xFF1B2642;
    bool bold = false;
    bool georgia = false;              // "Georgia" instead of "Segoe UI"
    bool centred = false;              // centred both ways instead of left and top
};

// Four quarter arcs of radius r, filled; outlined with a 1-dip pen when the border's alpha is set.
void fillRoundedRect(Canvas& canvas, const DipRect& rect, float radius, std::uint32_t fill, std::uint32_t border);
void fillRect(Canvas& canvas, const DipRect& rect, std::uint32_t colour);
void fillEllipse(Canvas& canvas, const DipRect& rect, std::uint32_t colour);
void drawLine(Canvas& canvas, std::uint32_t colour, float width, float x1, float y1, float x2, float y2);
// Word-wrapped, whole lines only, ellipsis at the last visible character.
void drawText(Canvas& canvas, std::wstring_view text, const DipRect& rect, const TextStyle& style);
// The same text from UTF-8 (library texts are valid UTF-8 by the library's invariants).
void drawText(Canvas& canvas, std::string_view utf8, const DipRect& rect, const TextStyle& style);

// Starts a canvas on a device context with the program's smoothing, text hint and dpi transform.
bool beginCanvas(Canvas& canvas, HDC dc, float dpiScale, TextKit* kit);
void endCanvas(Canvas& canvas);

TextKit* textKitOf(AppState& app);  // creates the cache on first use

// ---------------------------------------------------------------------------------------------
// Frame and chrome

// Paints the whole client area into an off-screen buffer and copies it in one BitBlt.
void paintWindow(HDC dc, AppState& app, const Library& library);
// Paints chrome and section into a canvas already bound to a buffer (the frame painter's core).
void paintFrame(Canvas& canvas, AppState& app, const Library& library);
void drawOwnerButton(const DRAWITEMSTRUCT& item, AppState& app);

struct ButtonColours {
    std::uint32_t fill = 0;
    std::uint32_t text = 0;
};

struct ButtonLook {
    Section section = Section::Discover;
    bool licencesShown = false;
    bool linkMode = false;
    std::int32_t requestedPlate = 0;
    bool pressed = false;
    bool disabled = false;
};

ButtonColours buttonColours(ControlId id, const ButtonLook& look, const Palette& palette);
float buttonLabelSize(ControlId id, Section section);
DipRect buttonLabelRect(float w, float h, std::wstring_view label);
// Where the status text goes: the right end is left to "Retry save" while changes are unsaved.
DipRect statusTextRect(float width, float height, bool unsavedChanges);
std::wstring connectionsLine(std::size_t links);  // "3 connections"

inline constexpr std::uint32_t STATUS_BACKGROUND = 0xFFECEFE8;
inline constexpr std::uint32_t STATUS_ERROR_BACKGROUND = 0xFFFEEADC;
inline constexpr std::uint32_t STATUS_ERROR_TEXT = 0xFF8B3E1B;
inline constexpr std::uint32_t BUTTON_PRESSED = 0xFFC8D3EE;

// ---------------------------------------------------------------------------------------------
// Sections: painters, mouse and the view commands

void paintDiscover(Canvas& canvas, AppState& app, const Library& library);
void paintBoard(Canvas& canvas, AppState& app, const Library& library);
void paintAtlas(Canvas& canvas, AppState& app, const Library& library);
void paintPreferences(Canvas& canvas, AppState& app, const Library& library);

// The Discover stories that match searchText, in library order.
std::vector<const Story*> matchingStories(const AppState& app, const Library& library);

void onMouseDownDiscover(Session& session, float x, float y);
void onMouseDownBoard(Session& session, float x, float y);
void onMouseDownAtlas(Session& session, float x, float y);
void onMouseWheelDiscover(Session& session, float x, float y, int delta);
void onMouseWheelBoard(Session& session, float x, float y, int delta);
void onMouseWheelAtlas(Session& session, float x, float y, int delta);
// One move of a drag, p being the pointer in dip; the caller then stores p as the last point.
void onDragMoveBoard(Session& session, float x, float y);
void onDragMoveAtlas(Session& session, float x, float y);

void toggleSelectedPin(Session& session);   // 121
void openSelectedSource(Session& session);  // 122
void toggleLinkMode(Session& session);      // 124
void fitBoard(Session& session);            // 125
void clearLinks(Session& session);          // 126
void undoBoardEdit(Session& session);       // 127
void fitAtlas(AppState& app);               // 142, and when a plate arrives
void zoomAtlasAbout(AppState& app, double factor, double ax, double ay);  // 143 to 145
