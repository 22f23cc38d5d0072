// Views: the drawing kit every section uses (canvas, fills, lines, text), the frame painter with
// its chrome, the owner-drawn buttons, and the per-section painters and mouse handlers.
#pragma once

#include "views/view_state.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <utility>
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
    DrawingKit* kit = nullptr; // what is kept between paints; null creates everything per call
    float scale = 1.0f;        // device pixels per dip
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

// Labels (buttons, headings, captions of one or two lines) fit their rectangle as a whole: one line
// at the style's size when it fits, else two lines broken at a space, else the same at sizes 0.5 px
// smaller down to labelFloorSize. A word is never broken and no line is cut. Two lines may be asked
// to leave `twoLineRoom` dip free above and below them, so they do not crowd a button's edges.
struct LabelLayout {
    std::wstring text;   // the label, with a line feed where it breaks
    float size = 0.0f;   // the font size it is drawn at
    bool fits = false;   // false: not even the smallest size holds it, and it is drawn trimmed
};

// What GDI+ makes of a text laid out in a rectangle as a label is laid out (no wrapping).
struct TextMeasure {
    float width = 0.0f;
    float height = 0.0f;
    int codepointsFitted = 0;
    int linesFilled = 0;
    int status = 0;
};

float labelFloorSize(float size);
LabelLayout fitLabel(Canvas& canvas, std::wstring_view text, const DipRect& rect, const TextStyle& style,
                     float twoLineRoom = 0.0f);
TextMeasure measureLabel(Canvas& canvas, std::wstring_view text, const DipRect& rect, const TextStyle& style);
// Fits, then draws with the style's colour and alignment; returns the layout drawn.
LabelLayout drawLabel(Canvas& canvas, std::wstring_view text, const DipRect& rect, const TextStyle& style,
                      float twoLineRoom = 0.0f);

// Starts a canvas on a device context with the program's smoothing, text hint and dpi transform;
// dip (0, 0) lands on device pixel (originX, originY).
bool beginCanvas(Canvas& canvas, HDC dc, float dpiScale, DrawingKit* kit, float originX = 0.0f, float originY = 0.0f);
void endCanvas(Canvas& canvas);

DrawingKit* drawingKitOf(ViewState& app);  // creates the cache on first use

// ---------------------------------------------------------------------------------------------
// Frame and chrome

// Composes the frame in a kept buffer (the chrome drawn again only when what it shows changed, the
// section's view every time) and copies the `dirty` part of it, in client pixels, to the window.
void paintWindow(HDC dc, ViewState& app, const Library& library, const RECT& dirty);
// The same for a client area of width x height pixels, into any device context.
void paintKeptFrame(HDC dc, ViewState& app, const Library& library, int width, int height, const RECT& dirty);
// The kept frame no longer shows the state: the next paint composes it anew. Whatever changes what
// a view or the chrome shows calls this (through the shell's repaint and layout), since a paint
// of an unchanged state only copies the kept frame to the window.
void markFrameStale(const ViewState& app);
// Paints chrome and section into a canvas already bound to a buffer (the frame painter's core).
void paintFrame(Canvas& canvas, ViewState& app, const Library& library);
void drawOwnerButton(const DRAWITEMSTRUCT& item, ViewState& app);

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
TextStyle buttonLabelStyle(ControlId id, Section section, std::uint32_t colour);
inline constexpr float BUTTON_TWO_LINE_ROOM = 3.0f;  // free above and below a two-line button label

// One owner-drawn button as it is painted, w x h dip.
struct ButtonFace {
    ControlId id = 0;
    Section section = Section::Discover;
    float width = 0.0f;
    float height = 0.0f;
    std::wstring_view label;
    ButtonColours colours;
    bool focused = false;
};
// Paper, the rounded face and the fitted label; returns the label's layout.
LabelLayout paintButton(Canvas& canvas, const ButtonFace& face, const Palette& palette);
// Where the status text goes: the right end is left to "Retry save" while changes are unsaved.
DipRect statusTextRect(float width, float height, bool unsavedChanges);
std::wstring connectionsLine(std::size_t links);  // "3 connections"


// ---------------------------------------------------------------------------------------------
// Sections: painters, mouse and the view commands

void paintDiscover(Canvas& canvas, ViewState& app, const Library& library);
void paintBoard(Canvas& canvas, ViewState& app, const Library& library);
void paintAtlas(Canvas& canvas, ViewState& app, const Library& library);
void paintPreferences(Canvas& canvas, ViewState& app, const Library& library);

// The Discover stories that match searchText, in library order.
std::vector<const Story*> matchingStories(const ViewState& app, const Library& library);

// The mouse: a press takes the keyboard focus to the main window first. A press or wheel message
// changes the view's own state and the library, and returns what is left for the shell to do.
ViewRequest onMouseDownDiscover(ViewState& app, float x, float y);
ViewRequest onMouseDownBoard(ViewState& app, Library& library, float x, float y);
ViewRequest onMouseDownAtlas(ViewState& app, float x, float y);
ViewRequest onMouseWheelDiscover(ViewState& app, float x, float y, int delta);
ViewRequest onMouseWheelBoard(ViewState& app, float x, float y, int delta);
ViewRequest onMouseWheelAtlas(ViewState& app, float x, float y, int delta);
// One move of a drag, p being the pointer in dip; the caller then stores p as the last point and repaints.
void onDragMoveBoard(ViewState& app, Library& library, float x, float y);
void onDragMoveAtlas(ViewState& app, float x, float y);
// What a request's drag and showSelectedCard steps do, once the story is selected.
void startBoardDrag(ViewState& app, const DragStart& drag);
void showBoardCard(ViewState& app, const Library& library, const std::string& id);

// ---------------------------------------------------------------------------------------------
// Discover and Story board: the arithmetic behind their painters and mouse handlers

inline constexpr float LIST_ROW_LEFT = 224.0f;
inline constexpr float LIST_ROW_WIDTH = 366.0f;
inline constexpr float LIST_ROW_HEIGHT = 113.0f;
inline constexpr float LIST_FIRST_ROW_TOP = 208.0f;
inline constexpr std::int32_t LIST_WHEEL_STEP = 80;
inline constexpr float LIST_WHEEL_RIGHT = 605.0f;   // wheel input right of this is the panel's
inline constexpr double BOARD_CARD_WIDTH = 245.0;
inline constexpr double BOARD_CARD_HEIGHT = 132.0;
inline constexpr double BOARD_DRAG_LIMIT = 99900.0;

// The list offset a paint keeps: between 0 and the height of all rows beyond the visible height.
std::int32_t clampListScroll(std::int32_t offset, std::size_t rows, float viewHeight);
// The offset after one wheel message at x (no upper bound; the next paint applies it).
std::int32_t wheelListScroll(std::int32_t offset, float x, int delta);
// Left and top inclusive, right and bottom exclusive.
bool containsPoint(float left, float top, float width, float height, float x, float y);
// Index of the first record under the point in drawing order, or of the topmost (last drawn); -1 for none.
int firstHit(const std::vector<HitRecord>& hits, float x, float y);
int topmostHit(const std::vector<HitRecord>& hits, float x, float y);

struct BoardView {
    double zoom = 1.0;
    double panX = 30.0;
    double panY = 35.0;
};

BoardView boardViewOf(const ViewState& app);
// Where a card whose story sits at board point (x, y) is shown, in dip.
DipRect boardCardRect(const DipRect& canvas, const BoardView& view, double x, double y);
// One wheel message at (x, y): zoom by 1.13 per notch within 0.25 .. 1.8, the point under the pointer kept.
BoardView zoomBoardAbout(const BoardView& view, const DipRect& canvas, float x, float y, int delta);
// The view that centres every pinned card in the canvas (zoom at most 1.35); the default view without cards.
BoardView fitBoardView(const Library& library, const DipRect& canvas);
double clampBoardCoordinate(double value);
// True when a link's line lies wholly within the opaque inside of its own label pill, which is
// drawn over it next: leaving the line out changes no pixel.
bool linkLineHiddenByPill(float x1, float y1, float x2, float y2);
// The two rectangles of a card shown at r whose pixels its opaque fill decides, whatever lies
// beneath and wherever within half a dip the card is put: its inside without the rounded corners.
std::array<DipRect, 2> cardHidingRects(const DipRect& r);
// True when every point of `area` lies in one of `cover`. Beyond 16 rectangles that each hold only
// part of it, the answer is false rather than worked out.
bool coveredByRects(const DipRect& area, const std::vector<DipRect>& cover);

// The selected story's detail panel, beside the list in Discover and beside the canvas on the board.
void paintStoryPanel(Canvas& canvas, const ViewState& app, const Library& library);

void takeUndoSnapshot(ViewState& app, const Library& library);
// Puts back the snapshot's pins, positions and links; notes, texts and preferences keep their values.
void restoreBoardEdit(Library& library, const Library& snapshot);

ViewRequest toggleLinkMode(ViewState& app, const Library& library);  // 124
ViewRequest fitBoard(ViewState& app, const Library& library);        // 125
ViewRequest clearLinks(ViewState& app, Library& library);            // 126
ViewRequest fitAtlas(ViewState& app);                                // 142, and when a plate arrives
ViewRequest zoomAtlasAbout(ViewState& app, double factor, double ax, double ay);  // 143 to 145
// What a click on another card does in link mode: the link to the selected story, saved, and the
// end of link mode; nothing for the selected card itself.
ViewRequest connectSelectedTo(ViewState& app, Library& library, const std::string& id);

// ---------------------------------------------------------------------------------------------
// Keyboard on the board and in the atlas

enum class ArrowKey { Left, Right, Up, Down };

inline constexpr double BOARD_KEY_STEP = 24.0;      // Ctrl+arrow moves a card by one step of the dot grid
inline constexpr double ATLAS_KEY_PAN_SHARE = 0.1;  // an arrow pans the plate by this part of the view
inline constexpr float BOARD_SHOW_MARGIN = 12.0f;   // dip kept free around a card brought into view

// The card an arrow leads to from card `from`, by the cards' centres: the nearest of those within
// 45 degrees of the direction, else the nearest of those ahead at all; -1 when none lies ahead.
int nearestCardInDirection(const std::vector<BoardPoint>& centres, std::size_t from, ArrowKey direction);
// The view panned just enough to show the card at board (x, y) whole with a margin (its top-left
// corner first when the canvas is too small); the same view when the card is in sight.
BoardView boardViewShowing(const BoardView& view, const DipRect& canvas, double x, double y);

// Arrows move the selection between cards (in link mode the card Enter would join), Ctrl+arrows
// move the selected card one grid step; the move is saved when the key is released.
ViewRequest onBoardArrow(ViewState& app, Library& library, ArrowKey direction, bool ctrl);
ViewRequest endBoardKeyMove(ViewState& app);
ViewRequest onBoardEnter(ViewState& app, Library& library);
// Arrows pan the plate; zoomIn true or false is plus or minus, about the view's centre.
ViewRequest onAtlasArrow(ViewState& app, ArrowKey direction);
ViewRequest onAtlasZoomKey(ViewState& app, bool zoomIn);
// The focus ring of the surface that has the keyboard, and in link mode the card the arrows reached.
void paintKeyboardCues(Canvas& canvas, const ViewState& app, const Library& library);

// ---------------------------------------------------------------------------------------------
// Evidence atlas: plate decoding, the image worker, and the arithmetic of zoom, fit and drawing

inline constexpr double ATLAS_MIN_ZOOM = 0.015;
inline constexpr double ATLAS_MAX_ZOOM = 2.0;
inline constexpr double ATLAS_WHEEL_FACTOR = 1.22;
inline constexpr double ATLAS_ZOOM_IN = 1.4;
inline constexpr double ATLAS_ZOOM_OUT = 0.7142857142857143;
inline constexpr std::uint32_t ATLAS_BACKGROUND = 0xFF111A2F;
inline constexpr std::uint32_t ATLAS_VEIL = 0xAA111A2F;
inline constexpr int PLATE_RESOURCE_BASE = 301;    // 301, 302: the full plates
inline constexpr int PREVIEW_RESOURCE_BASE = 311;  // 311, 312: their JPEG previews
inline constexpr std::size_t ATLAS_LEVEL_COUNT = 6; // halvings kept beside a full plate

// One downsampled copy of a plate: 32-bit premultiplied ARGB (the plates are opaque), rows packed.
struct ImageLevel {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
};
// levels[i] is the plate reduced 2^(i + 1) times in each direction. A full plate's own pixels,
// 24-bit rows the bitmap is made over, live here too, so they go when the bitmap goes.
struct ImageLevels {
    std::vector<ImageLevel> levels;
    std::unique_ptr<std::uint8_t[]> full;  // left uninitialised until the decoder writes it
    std::size_t fullStride = 0;            // bytes per row of `full`
};

struct PlateDecodeOptions {
    HMODULE module = nullptr;     // where the resources live; null: this program
    bool buildLevels = false;     // with a forced decode, also make the downsampled levels
    bool failFullDecode = false;  // the forced decode fails as if its buffer could not be had
};

// An RCDATA resource as a GDI+ bitmap. Unforced (the previews): over a memory-stream copy, decoded
// when first drawn. Forced (the full plates): every pixel decoded now by WIC into 24-bit rows the
// bitmap is made over; a resource of this program is read from its file, so the compressed bytes
// never join the working set. Any failure gives an image without a bitmap.
DecodedImage decodePlateResource(int resourceId, bool force, const PlateDecodeOptions& options = {});
DecodedImage decodeImageBytes(const void* bytes, std::size_t size, bool force, const PlateDecodeOptions& options = {});
std::size_t imageLevelCount(const DecodedImage& image);
// The image worker: decodes plate `*plate` and posts WM_APP_PLATE_DONE with a PlateResult unless
// the program is shutting down (then it frees the result itself).
void plateWorker(HWND window, const std::atomic<bool>* shuttingDown, std::unique_ptr<std::int32_t> plate,
                 PlateDecodeOptions options) noexcept;

struct AtlasView {
    double zoom = 1.0;
    double panX = 0.0;
    double panY = 0.0;
};

// Zoom by `factor` within 0.015 .. 2.0 about the view point (ax, ay); the image point there stays.
AtlasView atlasZoomedAbout(const AtlasView& view, double factor, double ax, double ay);
// The whole image visible and centred in a view of vw x vh dip (zoom not clamped).
AtlasView atlasFitted(double vw, double vh, double imageWidth, double imageHeight);
// What the atlas says of its plates: the published images are credited as such; a build that
// embeds the stand-ins it draws itself says that instead.
bool atlasPlatesAreStandIns();
const wchar_t* atlasHint();                      // the hint line under the atlas title
const wchar_t* atlasCredit(std::int32_t plate);  // the credit line under the view
// "14,575 × 8,441 px", followed by "  /  " and the truncated percentage when a plate is loaded.
std::wstring atlasSizeLabel(std::int32_t plate, bool loaded, double zoom);
// The preview rectangle (preview pixels) that covers the whole view, centred.
DipRect atlasCoverSource(double vw, double vh, double previewWidth, double previewHeight);

// What one paint draws of a loaded plate: `level` 0 is the full image, i the i-th halving; the
// source rectangle is in that level's pixels and the destination in dip.
struct AtlasDrawPlan {
    bool visible = false;
    int level = 0;
    double srcX = 0, srcY = 0, srcWidth = 0, srcHeight = 0;
    double destX = 0, destY = 0, destWidth = 0, destHeight = 0;
};
// The coarsest level with at most one of its pixels per device pixel, and only the part of it
// that lands in the view (plus a few pixels of margin for the filter).
AtlasDrawPlan planAtlasDraw(const DipRect& view, const AtlasView& atlas, double imageWidth, double imageHeight,
                            float dpiScale, const std::vector<std::pair<int, int>>& levelSizes);

// ---------------------------------------------------------------------------------------------
// Preferences: the geometry of its panels and the texts it composes

struct PreferencesPanels {
    float column = 0.0f;  // C = (W - 272) / 2, the width of each panel
    DipRect upperLeft, upperRight, lowerLeft, lowerRight;
    DipRect privacyTitle, privacyText;
    DipRect languageTitle, languageText, languageLine;
    DipRect dataTitle, dataText;
    DipRect sourcesTitle, sourcesText, lastCheckLabel, lastCheckValue;
};

PreferencesPanels preferencesPanels(float width, float height);
DipRect licencesPanelRect(float width, float height);
// "Windows → " + the language name + "   /   " + the UTC offset.
std::wstring languageLine(std::wstring_view languageName, std::wstring_view utcOffset);
// The local date and time of the last successful check, or "Not yet checked" for 0.
std::wstring lastCheckText(std::int64_t lastCheck);
