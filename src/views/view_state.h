// What the views draw from and write to: the sections and control ids they paint, the small
// records they keep (hit rectangles, view rectangles, decoded plates, the palette), the state of
// one window as a view sees it, and the request a view's input handler hands back to the shell.
#pragma once

#include "locale/locale.h"
#include "model/model.h"

#include <windows.h>
#include <objidl.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace Gdiplus {
class GpBitmap;
}

// ---------------------------------------------------------------------------------------------
// Sections and control ids

enum class Section : std::int32_t { Discover = 0, Board = 1, Atlas = 2, Preferences = 3 };
inline constexpr std::int32_t SECTION_COUNT = 4;

// The id of a child control is also the command id its click sends.
using ControlId = std::int32_t;

inline constexpr ControlId ID_SECTION_DISCOVER = 100;
inline constexpr ControlId ID_SECTION_BOARD = 101;
inline constexpr ControlId ID_SECTION_ATLAS = 102;
inline constexpr ControlId ID_SECTION_PREFERENCES = 103;
inline constexpr ControlId ID_HIDE = 110;
inline constexpr ControlId ID_CLOSE = 111;
inline constexpr ControlId ID_REFRESH = 120;
inline constexpr ControlId ID_PIN = 121;
inline constexpr ControlId ID_READ_SOURCE = 122;
inline constexpr ControlId ID_SAVE_NOTE = 123;
inline constexpr ControlId ID_CONNECT = 124;
inline constexpr ControlId ID_FIT_BOARD = 125;
inline constexpr ControlId ID_CLEAR_LINKS = 126;
inline constexpr ControlId ID_UNDO_BOARD = 127;
inline constexpr ControlId ID_LINK_KIND = 128;
inline constexpr ControlId ID_PLATE_0 = 140;
inline constexpr ControlId ID_PLATE_1 = 141;
inline constexpr ControlId ID_FIT_IMAGE = 142;
inline constexpr ControlId ID_ACTUAL_PIXELS = 143;
inline constexpr ControlId ID_ZOOM_IN = 144;
inline constexpr ControlId ID_ZOOM_OUT = 145;
inline constexpr ControlId ID_RETRY_IMAGE = 146;
inline constexpr ControlId ID_HOURLY = 160;
inline constexpr ControlId ID_NOTIFY = 161;
inline constexpr ControlId ID_EXPORT = 162;
inline constexpr ControlId ID_OPEN_FOLDER = 163;
inline constexpr ControlId ID_RESTORE = 164;
inline constexpr ControlId ID_CANCEL_RESTORE = 165;
inline constexpr ControlId ID_RETRY_SAVE = 166;
inline constexpr ControlId ID_LICENCES = 167;
inline constexpr ControlId ID_SEARCH = 200;
inline constexpr ControlId ID_STORY_TEXT = 201;
inline constexpr ControlId ID_NOTE = 202;
inline constexpr ControlId ID_LICENCES_TEXT = 203;
// The owner-painted surfaces: windows without pixels of their own over the Discover list, the
// board canvas and the atlas view, which hold the keyboard focus and answer screen readers.
inline constexpr ControlId ID_LIST_SURFACE = 210;
inline constexpr ControlId ID_BOARD_SURFACE = 211;
inline constexpr ControlId ID_ATLAS_SURFACE = 212;

// The image worker posts its decoded plate with this message.
inline constexpr UINT WM_APP_PLATE_DONE = WM_APP + 2;

inline constexpr std::int32_t LIST_ROW_PITCH = 123;

// ---------------------------------------------------------------------------------------------
// Small records

// A rectangle in device-independent pixels: left, top, width, height.
struct DipRect {
    float left = 0.0f;
    float top = 0.0f;
    float width = 0.0f;
    float height = 0.0f;

    bool operator==(const DipRect&) const = default;
};

// A clickable row or card of the last paint, in dip, with the story it stands for.
struct HitRecord {
    float left = 0.0f;
    float top = 0.0f;
    float width = 0.0f;
    float height = 0.0f;
    std::string id;
};

// The eight interface colours (ARGB), never changed at run time.
struct Palette {
    std::uint32_t ink = 0xFF1B2642;
    std::uint32_t muted = 0xFF646C7C;
    std::uint32_t cobalt = 0xFF1E43CB;
    std::uint32_t paper = 0xFFF7F6F1;
    std::uint32_t card = 0xFFFFFFFC;
    std::uint32_t line = 0xFFE0E1DD;
    std::uint32_t apricot = 0xFFFFB782;
    std::uint32_t cobaltTint = 0xFFE9EFFF;
    // The chrome's and the views' own tints, which high contrast maps to the theme's colours too.
    std::uint32_t headerStart = 0xFFF6F6F1;
    std::uint32_t headerEnd = 0xFFFEEEDE;
    std::uint32_t routeLine = 0xFFCCD6F4;
    std::uint32_t statusBackground = 0xFFECEFE8;
    std::uint32_t statusErrorBackground = 0xFFFEEADC;
    std::uint32_t statusErrorText = 0xFF8B3E1B;
    std::uint32_t buttonPressed = 0xFFC8D3EE;
    std::uint32_t selectedRowBorder = 0xFFA0B4EF;
    std::uint32_t boardCanvas = 0xFFF2F2EB;
    std::uint32_t gridDot = 0xFFD3D8D7;
    std::uint32_t questionLink = 0xFFBA7547;

    bool operator==(const Palette&) const = default;
};

// Downsampled copies of a decoded plate in plain memory, built by the image worker so a zoomed-out
// plate is drawn without filtering every source pixel on each paint (defined by the atlas).
struct ImageLevels;
struct ImageLevelsRelease {
    void operator()(ImageLevels* levels) const noexcept;
};

// An encoded image held in a COM memory stream and the GDI+ bitmap decoded from it. The stream
// must outlive the bitmap, so release deletes the bitmap first.
struct DecodedImage {
    IStream* stream = nullptr;
    Gdiplus::GpBitmap* bitmap = nullptr;
    std::unique_ptr<ImageLevels, ImageLevelsRelease> levels;  // only for full plates

    DecodedImage() = default;
    DecodedImage(IStream* s, Gdiplus::GpBitmap* b) : stream(s), bitmap(b) {}
    DecodedImage(const DecodedImage&) = delete;
    DecodedImage& operator=(const DecodedImage&) = delete;
    DecodedImage(DecodedImage&& other) noexcept
        : stream(other.stream), bitmap(other.bitmap), levels(std::move(other.levels))
    {
        other.stream = nullptr;
        other.bitmap = nullptr;
    }
    DecodedImage& operator=(DecodedImage&& other) noexcept
    {
        if (this != &other) {
            reset();
            stream = other.stream;
            bitmap = other.bitmap;
            levels = std::move(other.levels);
            other.stream = nullptr;
            other.bitmap = nullptr;
        }
        return *this;
    }
    ~DecodedImage() { reset(); }

    void reset() noexcept;  // defined with the drawing kit, which owns GDI+
    bool hasBitmap() const noexcept { return bitmap != nullptr; }
};

// What the image worker hands back: the decoded plate (empty on failure) and its index.
struct PlateResult {
    DecodedImage image;
    std::int32_t plate = 0;
};

// What the painters keep between paints (fonts, string formats, pictures of the board); released
// before GDI+ stops.
struct DrawingKit;
struct DrawingKitRelease {
    void operator()(DrawingKit* kit) const noexcept;  // defined with the drawing kit
};


// ---------------------------------------------------------------------------------------------
// The state a view reads and writes

struct ViewState {
    // The window the views draw for, which takes the focus and the mouse capture on a click.
    HWND mainWindow = nullptr;

    // Geometry
    float dpiScale = 1.0f;
    float clientWidthDip = 1280.0f;
    float clientHeightDip = 820.0f;
    DipRect boardViewRect;
    DipRect atlasViewRect;
    Palette palette;

    // Navigation and selection
    Section currentSection = Section::Discover;
    std::string selectedStoryId;
    std::wstring searchText;
    std::int32_t listScrollOffset = 0;
    bool licencesShown = false;

    // Story board
    double boardZoom = 1.0;
    // The wheel is zooming the board: cards are drawn from their kept pictures, scaled, until it
    // rests and they are drawn sharp at the new zoom.
    bool boardZoomTurning = false;
    double boardPanX = 30.0;
    double boardPanY = 35.0;
    bool linkMode = false;
    std::int32_t newLinkKind = 0;
    Library undoSnapshot;
    bool undoAvailable = false;

    // Evidence atlas
    std::int32_t requestedPlate = 0;
    std::int32_t loadedPlate = -1;
    DecodedImage plateImage;
    std::array<DecodedImage, 2> previewImages;
    bool plateDecodeRunning = false;
    double atlasZoom = 1.0;
    double atlasPanX = 0.0;
    double atlasPanY = 0.0;

    // Mouse
    bool dragging = false;
    bool dragMoved = false;
    std::string draggedStoryId;
    float lastMouseX = 0.0f;
    float lastMouseY = 0.0f;
    std::vector<HitRecord> hitRows;

    // Status line and saving, as the chrome shows them
    std::wstring statusText;
    bool statusIsError = false;
    bool unsavedChanges = false;

    // Keyboard
    ControlId focusedSurface = 0;  // the surface that has the keyboard focus; 0 none
    std::string boardKeyCardId;    // in link mode: the card the arrows reached, which Enter joins
    bool keyMovePending = false;   // a card moved by Ctrl+arrow is saved when the key is released

    // Drawing caches kept between paints (same picture as creating them per call).
    std::unique_ptr<DrawingKit, DrawingKitRelease> drawingKit;
};

// ---------------------------------------------------------------------------------------------
// What a view asks of the shell

// A board drag that starts once the story under the pointer is selected (none: a pan).
struct DragStart {
    std::string storyId;
    float x = 0.0f;
    float y = 0.0f;
};

// A view changes only its own state and the library; what needs the shell comes back in one of
// these, carried out in the order of its fields. The first two steps may fail (a note that cannot
// be committed), and a failed step ends the request there.
struct [[nodiscard]] ViewRequest {
    bool commitNote = false;                   // commit the note editor's text
    std::optional<std::string> selectStory{};  // select a story (committing the note first)
    std::optional<DragStart> drag{};           // then start a board drag
    bool showSelectedCard = false;             // then pan the board to the selected card
    bool save = false;                         // save the library
    std::optional<UiStringKey> savedStatus{};  // the status line's text once that save succeeded
    std::optional<UiStringKey> status{};       // the status line's text, not an error
    bool relayout = false;                     // the controls follow the new state
    bool boardZoomRest = false;                // the wheel rests after a pause without it
    bool announceFocus = false;                // screen readers hear of the card the arrows reached
    bool repaint = false;
    bool announceAtlasView = false;            // screen readers hear of the plate's new zoom
};
