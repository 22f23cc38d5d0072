// The Story board's painter: the canvas with its dot grid, the links with their pills and the
// cards. What a paint draws many times over, or again on the next paint, is kept as pictures.
#include "views/views_internal.h"

#include "locale/locale.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

using namespace views_detail;

namespace {

constexpr std::uint32_t CARD_SHADOW = 0x192C3555;
constexpr double GRID_STEP = 24.0;

// ---------------------------------------------------------------------------------------------
// Geometry and the pieces painted in place

// Card and pill origins, and grid rows, sit on whole device pixels, so a picture kept from an
// earlier paint lands exactly where painting in place would put it.
int devicePixel(double dip, float scale)
{
    return static_cast<int>(std::lround(dip * scale));
}

float snapped(double dip, float scale)
{
    return static_cast<float>(devicePixel(dip, scale)) / scale;
}

struct GridDots {
    std::vector<float> columns;  // dip, as the pan and zoom give them
    std::vector<float> rows;     // dip, on whole device pixels
};

// fmod keeps the sign of the pan, so a negative pan starts left of the canvas under the clip.
GridDots gridDots(const DipRect& L, const BoardView& view, float scale)
{
    GridDots dots;
    const double step = GRID_STEP * view.zoom;
    if (!(step > 0.0))
        return dots;
    const double right = L.left + L.width, bottom = L.top + L.height;
    for (double x = L.left + std::fmod(view.panX, step); x < right; x += step)
        dots.columns.push_back(static_cast<float>(x));
    for (double y = L.top + std::fmod(view.panY, step); y < bottom; y += step)
        dots.rows.push_back(snapped(y, scale));
    return dots;
}

// All dots go into one path filled once: the same dots as one fill per dot, at a fraction of the calls.
void fillDots(Canvas& canvas, std::uint32_t colour, const std::vector<float>& columns, const std::vector<float>& rows)
{
    if (columns.empty() || rows.empty())
        return;
    GpPath* rawPath = nullptr;
    const Gdiplus::GpStatus created = gp::GdipCreatePath(Gdiplus::FillModeWinding, &rawPath);
    recordStatus(canvas, created);
    if (created != Gdiplus::Ok)
        return;
    PathPtr path(rawPath);
    for (const float x : columns)
        for (const float y : rows)
            recordStatus(canvas, gp::GdipAddPathEllipse(rawPath, x, y, 1.5f, 1.5f));
    if (BrushPtr brush = solidBrush(canvas, colour))
        recordStatus(canvas, gp::GdipFillPath(canvas.graphics, brush.get(), rawPath));
}

// True when the rectangle reaches into the canvas; what lies wholly outside is clipped away anyway.
bool meetsCanvas(const DipRect& L, float left, float top, float width, float height)
{
    return left < L.left + L.width && left + width > L.left && top < L.top + L.height && top + height > L.top;
}

// More characters than a card title can ever show in its three lines, so cutting here changes
// nothing on screen while sparing the text layout the rest of a long title.
constexpr std::size_t CARD_TITLE_UNITS = 600;

std::wstring cardTitle(const std::string& title)
{
    std::wstring text;
    try {
        text = utf8ToUtf16(title.substr(0, CARD_TITLE_UNITS * 3));
    } catch (const Failure&) {
        return {};  // cut inside a sequence, or invalid: convert the whole title instead
    }
    if (text.size() > CARD_TITLE_UNITS) {
        std::size_t cut = CARD_TITLE_UNITS;
        if (text[cut] >= 0xDC00 && text[cut] <= 0xDFFF)
            --cut;  // keep a surrogate pair whole
        text.resize(cut);
    }
    return text;
}

constexpr float PILL_WIDTH = 88, PILL_HEIGHT = 24;

std::wstring_view linkLabel(std::int32_t kind)
{
    return UiText(static_cast<UiStringKey>(static_cast<int>(UiStringKey::LinkRelated) + std::clamp(kind, 0, 2)));
}

void paintPill(Canvas& canvas, const Palette& p, std::wstring_view label, float x, float y)
{
    fillRoundedRect(canvas, {x, y, PILL_WIDTH, PILL_HEIGHT}, 6, p.card, p.line);
    drawLabel(canvas, label, {x, y, PILL_WIDTH, PILL_HEIGHT}, {.size = 10.0f, .colour = p.cobalt, .centred = true});
}

// Shadow, card and border: the same for every card of one zoom.
void paintCardFrame(Canvas& canvas, const Palette& p, bool selected, const DipRect& r)
{
    fillRoundedRect(canvas, {r.left + 3, r.top + 4, r.width, r.height}, 8, CARD_SHADOW, 0);
    fillRoundedRect(canvas, r, 8, p.card, selected ? p.cobalt : p.line);
}

// What lies on the card: accent bar, source, title and note dot, all inside its border.
void paintCardFace(Canvas& canvas, const Palette& p, const Story& story, bool selected, const DipRect& r, float z)
{
    const float X = r.left, Y = r.top, Cw = r.width, Ch = r.height;
    fillRect(canvas, {X + 13, Y + 13, 27, 3}, selected ? p.cobalt : p.apricot);
    drawText(canvas, std::string_view(story.source), {X + 13, Y + 23, Cw - 26, 19 * z},
             {.size = 10 * z, .colour = p.cobalt, .bold = true});
    const TextStyle titleStyle{.size = 15 * z, .colour = p.ink, .bold = true};
    const DipRect titleBox{X + 13, Y + 44 * z, Cw - 26, Ch - 63 * z};
    std::wstring title = cardTitle(story.title);
    if (title.empty() && !story.title.empty())
        drawText(canvas, std::string_view(story.title), titleBox, titleStyle);
    else
        drawText(canvas, std::wstring_view(title), titleBox, titleStyle);
    if (!story.note.empty())
        fillEllipse(canvas, {X + Cw - 22, Y + Ch - 21, 8, 8}, p.apricot);
}

// Paints with dip (0, 0) moved onto device pixel (x, y) of the frame, the way a kept picture's
// content lies on whole pixels: the same arithmetic, so the same pixels.
void paintShifted(Canvas& canvas, int x, int y, const std::function<void(Canvas&)>& paint)
{
    const auto dx = static_cast<float>(x), dy = static_cast<float>(y);
    recordStatus(canvas, gp::GdipTranslateWorldTransform(canvas.graphics, dx, dy, Gdiplus::MatrixOrderAppend));
    paint(canvas);
    recordStatus(canvas, gp::GdipTranslateWorldTransform(canvas.graphics, -dx, -dy, Gdiplus::MatrixOrderAppend));
}

// Stories by id, gathered once per paint instead of a search per link end.
std::unordered_map<std::string_view, const Story*> storiesById(const Library& library)
{
    std::unordered_map<std::string_view, const Story*> byId;
    byId.reserve(library.stories.size());
    for (const Story& story : library.stories)
        byId.emplace(story.id, &story);
    return byId;
}

const Story* storyWithId(const std::unordered_map<std::string_view, const Story*>& byId, std::string_view id)
{
    const auto found = byId.find(id);
    return found != byId.end() ? found->second : nullptr;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Pictures kept between paints

namespace {

// Room around a picture's content for anti-aliased edges and the border's outer half.
constexpr int PICTURE_MARGIN = 2;
// Card pictures beyond this many bytes are painted in place instead of kept.
constexpr std::size_t CARD_PICTURE_BUDGET = std::size_t{32} << 20;

int pictureExtent(double dip, float scale)
{
    return static_cast<int>(std::ceil(dip * scale)) + 2 * PICTURE_MARGIN + 1;
}

struct CardLook {
    double zoom = 0;
    float scale = 0;
    bool selected = false;
    Palette palette;

    bool operator==(const CardLook&) const = default;
};

struct CardPicture {
    // What the picture shows; a card whose story or look has changed is painted again.
    CardLook look;
    std::string title;
    std::string source;
    bool note = false;
    Sprite sprite;
    bool used = false;  // drawn by the paint under way
};

}  // namespace

struct BoardPictures {
    // The canvas's inside is painted here, and only its size copied back: the edges clip what
    // is drawn as the canvas clip would, without the clip's cost on every call.
    Offscreen layer;
    int layerWidth = 0;
    int layerHeight = 0;

    float pillScale = 0;
    Palette pillPalette;
    std::array<std::wstring, 3> pillLabels;
    std::array<Sprite, 3> pills;  // one per link kind

    std::array<CardLook, 2> frameLooks;
    std::array<Sprite, 2> frames;  // card frames, unselected and selected

    std::unordered_map<std::string, CardPicture> cards;
    std::size_t cardBytes = 0;

    // The grid and the links as last painted at rest, scaled in their place while the wheel turns.
    Offscreen backdrop;
    struct BackdropKey {
        DipRect canvas;
        float scale = 0;
        Palette palette;
        int left = 0;  // the layer's top-left device pixel within the frame
        int top = 0;
        double zoom = 0;
        double panX = 0;
        double panY = 0;
        std::size_t board = 0;  // boardFingerprint of the cards and links drawn
    };
    std::optional<BackdropKey> backdropKey;

    Offscreen scratch;  // where pictures are painted
};

void BoardPicturesRelease::operator()(BoardPictures* pictures) const noexcept
{
    delete pictures;
}

namespace {

// Where a paint draws the canvas's inside: in place on the frame's canvas under a clip, or on the
// layer with the pictures kept between paints.
struct BoardSurface {
    Canvas& canvas;
    BoardPictures* pictures = nullptr;  // null: everything painted in place
    int left = 0;                       // the surface's top-left device pixel within the frame
    int top = 0;
};

void paintGrid(BoardSurface& surface, const Palette& palette, const DipRect& L, const BoardView& view)
{
    const GridDots dots = gridDots(L, view, surface.canvas.scale);
    if (!surface.pictures || dots.rows.empty()) {
        fillDots(surface.canvas, palette.gridDot, dots.columns, dots.rows);
        return;
    }
    // Every row is the same row of dots: paint one, blend it at each row's place.
    BoardPictures& pictures = *surface.pictures;
    const float s = surface.canvas.scale;
    const int firstRow = devicePixel(dots.rows.front(), s);
    int status = 0;
    const Sprite row = paintSprite(pictures.scratch, pictures.layerWidth, pictureExtent(1.5, s), surface.canvas,
                                   static_cast<float>(-surface.left), static_cast<float>(PICTURE_MARGIN - firstRow),
                                   [&](Canvas& c) { fillDots(c, palette.gridDot, dots.columns, {dots.rows.front()}); }, status);
    recordStatus(surface.canvas, status);
    if (!row) {
        fillDots(surface.canvas, palette.gridDot, dots.columns, dots.rows);
        return;
    }
    for (const float y : dots.rows)
        blendSprite(surface.canvas, row, 0, devicePixel(y, s) - surface.top - PICTURE_MARGIN);
}

// The pill whose top-left corner lies on device pixel (x, y) of the frame.
void drawPill(BoardSurface& surface, const Palette& p, std::int32_t kind, int x, int y)
{
    const std::wstring_view label = linkLabel(kind);
    const auto inPlace = [&] { paintShifted(surface.canvas, x, y, [&](Canvas& c) { paintPill(c, p, label, 0, 0); }); };
    if (!surface.pictures) {
        inPlace();
        return;
    }
    BoardPictures& pictures = *surface.pictures;
    const float s = surface.canvas.scale;
    const auto k = static_cast<std::size_t>(std::clamp(kind, 0, 2));
    if (pictures.pillScale != s || pictures.pillPalette != p) {
        pictures.pills = {};
        pictures.pillScale = s;
        pictures.pillPalette = p;
    }
    if (pictures.pillLabels[k] != label)
        pictures.pills[k] = Sprite{};
    if (!pictures.pills[k]) {
        int status = 0;
        const auto margin = static_cast<float>(PICTURE_MARGIN);
        pictures.pills[k] = paintSprite(pictures.scratch, pictureExtent(PILL_WIDTH, s), pictureExtent(PILL_HEIGHT, s),
                                        surface.canvas, margin, margin,
                                        [&](Canvas& c) { paintPill(c, p, label, 0, 0); }, status);
        recordStatus(surface.canvas, status);
        pictures.pillLabels[k] = pictures.pills[k] ? std::wstring(label) : std::wstring();
    }
    if (!pictures.pills[k]) {
        inPlace();
        return;
    }
    blendSprite(surface.canvas, pictures.pills[k], x - surface.left - PICTURE_MARGIN,
                y - surface.top - PICTURE_MARGIN);
}

const Sprite& cardFrame(BoardSurface& surface, const CardLook& look, const DipRect& size)
{
    BoardPictures& pictures = *surface.pictures;
    const std::size_t index = look.selected ? 1 : 0;
    if (pictures.frameLooks[index] != look || !pictures.frames[index]) {
        const float s = look.scale;
        const auto margin = static_cast<float>(PICTURE_MARGIN);
        int status = 0;
        pictures.frames[index] = paintSprite(
            pictures.scratch, pictureExtent(size.width + 3, s), pictureExtent(size.height + 4, s), surface.canvas,
            margin, margin,
            [&](Canvas& c) { paintCardFrame(c, look.palette, look.selected, {0, 0, size.width, size.height}); }, status);
        recordStatus(surface.canvas, status);
        pictures.frameLooks[index] = look;
    }
    return pictures.frames[index];
}

// The card's picture, painted now when its story or look has changed; null when none can be kept.
const Sprite* cardPicture(BoardSurface& surface, const Story& story, const CardLook& look, const DipRect& size)
{
    BoardPictures& pictures = *surface.pictures;
    CardPicture& picture = pictures.cards[story.id];
    picture.used = true;
    const bool note = !story.note.empty();
    if (picture.sprite && picture.look == look && picture.note == note && picture.title == story.title
        && picture.source == story.source)
        return &picture.sprite;

    pictures.cardBytes -= picture.sprite.bytes();
    picture.sprite = Sprite{};
    const Sprite& frame = cardFrame(surface, look, size);
    if (!frame || pictures.cardBytes + frame.bytes() > CARD_PICTURE_BUDGET)
        return nullptr;
    Sprite sprite = makeSprite(frame.width, frame.height);
    if (!sprite)
        return nullptr;
    std::copy(frame.pixels, frame.pixels + frame.bytes() / 4, sprite.pixels);
    int status = 0;
    const auto margin = static_cast<float>(PICTURE_MARGIN);
    const bool painted = paintOntoSprite(
        pictures.scratch, sprite, surface.canvas, margin, margin,
        [&](Canvas& c) {
            paintCardFace(c, look.palette, story, look.selected, {0, 0, size.width, size.height},
                          static_cast<float>(look.zoom));
        },
        status);
    recordStatus(surface.canvas, status);
    if (!painted)
        return nullptr;
    // The face lies within the opaque inside of the frame; GDI may have cleared the alpha there,
    // and everything outside it is the frame's own.
    const std::size_t count = sprite.bytes() / 4;
    for (std::size_t i = 0; i < count; ++i)
        sprite.pixels[i] = (frame.pixels[i] >> 24) == 0xFF ? (sprite.pixels[i] | 0xFF000000u) : frame.pixels[i];
    sprite.opaque = frame.opaque;

    picture.look = look;
    picture.title = story.title;
    picture.source = story.source;
    picture.note = note;
    picture.sprite = std::move(sprite);
    pictures.cardBytes += picture.sprite.bytes();
    return &picture.sprite;
}

// While the wheel turns, the card's picture at an earlier zoom, scaled; false when it has none
// that shows the card as it is apart from the zoom.
bool drawScaledPicture(BoardSurface& surface, const ViewState& app, const Story& story, const CardLook& look, int x,
                       int y)
{
    const auto found = surface.pictures->cards.find(story.id);
    if (found == surface.pictures->cards.end())
        return false;
    CardPicture& picture = found->second;
    if (!picture.sprite || picture.look.zoom <= 0 || picture.look.zoom == look.zoom || picture.look.scale != look.scale
        || picture.look.selected != look.selected || picture.look.palette != look.palette
        || picture.note != !story.note.empty() || picture.title != story.title || picture.source != story.source)
        return false;
    const double k = app.boardZoom / picture.look.zoom;
    const int margin = static_cast<int>(std::lround(PICTURE_MARGIN * k));
    blendSpriteScaled(surface.canvas, picture.sprite, x - surface.left - margin, y - surface.top - margin,
                      static_cast<int>(std::lround(picture.sprite.width * k)),
                      static_cast<int>(std::lround(picture.sprite.height * k)));
    picture.used = true;
    return true;
}

void drawCard(BoardSurface& surface, const ViewState& app, const Story& story, const DipRect& r, float z)
{
    const float s = surface.canvas.scale;
    const bool selected = story.id == app.selectedStoryId;
    const int x = devicePixel(r.left, s), y = devicePixel(r.top, s);
    if (surface.pictures) {
        const CardLook look{app.boardZoom, s, selected, app.palette};
        if (app.boardZoomTurning && drawScaledPicture(surface, app, story, look, x, y))
            return;
        if (const Sprite* picture = cardPicture(surface, story, look, r)) {
            blendSprite(surface.canvas, *picture, x - surface.left - PICTURE_MARGIN,
                        y - surface.top - PICTURE_MARGIN);
            return;
        }
    }
    paintShifted(surface.canvas, x, y, [&](Canvas& c) {
        const DipRect at{0, 0, r.width, r.height};
        paintCardFrame(c, app.palette, selected, at);
        paintCardFace(c, app.palette, story, selected, at, z);
    });
}

// The cards' hiding rectangles in a coarse grid over the canvas, to ask of a link's line whether
// the cards, all drawn after the links, hide every pixel of it. (Pills, wider than a card is at
// the zooms where cards crowd, are seldom wholly hidden and are cheap to draw.)
class CardCover {
public:
    CardCover(const std::vector<HitRecord>& cards, const DipRect& canvas) : canvas_(canvas)
    {
        columns_ = std::max(1, static_cast<int>(std::ceil(canvas.width / CELL)));
        rows_ = std::max(1, static_cast<int>(std::ceil(canvas.height / CELL)));
        cells_.resize(static_cast<std::size_t>(columns_) * static_cast<std::size_t>(rows_));
        for (const HitRecord& card : cards)
            for (const DipRect& hiding : cardHidingRects({card.left, card.top, card.width, card.height})) {
                if (hiding.width <= 0 || hiding.height <= 0 || !meetsCanvas(canvas, hiding.left, hiding.top, hiding.width, hiding.height))
                    continue;
                const auto index = static_cast<std::uint32_t>(rects_.size());
                rects_.push_back(hiding);
                const CellRange cells = cellsOf(hiding);
                for (int row = cells.firstRow; row <= cells.lastRow; ++row)
                    for (int column = cells.firstColumn; column <= cells.lastColumn; ++column)
                        cells_[cellIndex(column, row)].push_back(index);
            }
    }

    bool hides(const DipRect& area) const
    {
        // Only the part within the canvas can show (a dip more for a layer edge between pixels).
        const float left = std::max(area.left, canvas_.left - 1), top = std::max(area.top, canvas_.top - 1);
        const float right = std::min(area.left + area.width, canvas_.left + canvas_.width + 1);
        const float bottom = std::min(area.top + area.height, canvas_.top + canvas_.height + 1);
        if (!(left < right && top < bottom))
            return true;
        const DipRect visible{left, top, right - left, bottom - top};
        // Asked once per link and paint: the lists are kept between calls rather than allocated.
        std::vector<std::uint32_t>& nearby = nearby_;
        nearby.clear();
        const CellRange cells = cellsOf(visible);
        for (int row = cells.firstRow; row <= cells.lastRow; ++row)
            for (int column = cells.firstColumn; column <= cells.lastColumn; ++column) {
                const std::vector<std::uint32_t>& cell = cells_[cellIndex(column, row)];
                nearby.insert(nearby.end(), cell.begin(), cell.end());
            }
        std::sort(nearby.begin(), nearby.end());
        nearby.erase(std::unique(nearby.begin(), nearby.end()), nearby.end());
        std::vector<DipRect>& cover = cover_;
        cover.clear();
        for (const std::uint32_t index : nearby) {
            const DipRect& r = rects_[index];
            if (r.left < right && r.left + r.width > left && r.top < bottom && r.top + r.height > top)
                cover.push_back(r);
        }
        return coveredByRects(visible, cover);
    }

private:
    static constexpr float CELL = 64.0f;

    struct CellRange {
        int firstColumn, lastColumn, firstRow, lastRow;
    };

    CellRange cellsOf(const DipRect& r) const
    {
        const auto cellAt = [](float offset, int count) {
            return std::clamp(static_cast<int>(std::floor(offset / CELL)), 0, count - 1);
        };
        return {cellAt(r.left - canvas_.left, columns_), cellAt(r.left + r.width - canvas_.left, columns_),
                cellAt(r.top - canvas_.top, rows_), cellAt(r.top + r.height - canvas_.top, rows_)};
    }

    std::size_t cellIndex(int column, int row) const
    {
        return static_cast<std::size_t>(row) * static_cast<std::size_t>(columns_) + static_cast<std::size_t>(column);
    }

    DipRect canvas_;
    int columns_ = 0;
    int rows_ = 0;
    std::vector<DipRect> rects_;
    std::vector<std::vector<std::uint32_t>> cells_;
    mutable std::vector<std::uint32_t> nearby_;
    mutable std::vector<DipRect> cover_;
};

// `cover` null draws every line: the plain picture the kept pictures are tested against. Otherwise
// a line that the cards or its own pill hide is left out.
void paintLinks(BoardSurface& surface, const ViewState& app, const Library& library, const DipRect& L,
                const BoardView& view, const CardCover* cover)
{
    Canvas& canvas = surface.canvas;
    const Palette& p = app.palette;
    const double z = view.zoom;
    GpPen* solid = nullptr;
    GpPen* dashed = nullptr;
    recordStatus(canvas, gp::GdipCreatePen1(p.cobalt, 2.0f, Gdiplus::UnitWorld, &solid));
    PenPtr solidOwner(solid);
    recordStatus(canvas, gp::GdipCreatePen1(p.questionLink, 2.0f, Gdiplus::UnitWorld, &dashed));
    PenPtr dashedOwner(dashed);
    if (dashed)
        recordStatus(canvas, gp::GdipSetPenDashStyle(dashed, Gdiplus::DashStyleDash));
    const auto byId = storiesById(library);
    for (const Link& link : library.links) {
        const Story* a = storyWithId(byId, link.a);
        const Story* b = storyWithId(byId, link.b);
        if (!a || !b)
            continue;
        const auto centre = [&](const Story& story, bool vertical) {
            return vertical ? static_cast<float>(L.top + view.panY + z * story.y + BOARD_CARD_HEIGHT * z / 2)
                            : static_cast<float>(L.left + view.panX + z * story.x + BOARD_CARD_WIDTH * z / 2);
        };
        const float x1 = centre(*a, false), y1 = centre(*a, true), x2 = centre(*b, false), y2 = centre(*b, true);
        GpPen* pen = link.kind == 2 ? dashed : solid;
        // The line reaches 1 dip beside its path with the pen, one more with anti-aliasing.
        const DipRect lineArea{std::min(x1, x2) - 2, std::min(y1, y2) - 2, std::fabs(x2 - x1) + 4, std::fabs(y2 - y1) + 4};
        const bool lineHidden = cover && (linkLineHiddenByPill(x1, y1, x2, y2) || cover->hides(lineArea));
        if (pen && !lineHidden && meetsCanvas(L, lineArea.left, lineArea.top, lineArea.width, lineArea.height))
            recordStatus(canvas, gp::GdipDrawLine(canvas.graphics, pen, x1, y1, x2, y2));
        const float px = (x1 + x2) / 2 - PILL_WIDTH / 2, py = (y1 + y2) / 2 - PILL_HEIGHT / 2;
        if (meetsCanvas(L, px - 1, py - 1, PILL_WIDTH + 2, PILL_HEIGHT + 2))
            drawPill(surface, p, link.kind, devicePixel(px, canvas.scale), devicePixel(py, canvas.scale));
    }
}

// The canvas's corners curve in within this radius; its border line lies inside it.
constexpr float CANVAS_RADIUS = 12.0f;

// What the links drawn depend on besides the view: the cards' places and the links with their
// labels' language. A change while the wheel turns draws the links afresh.
std::size_t boardFingerprint(const Library& library)
{
    std::size_t hash = static_cast<std::size_t>(currentUiLanguage);
    const auto mix = [&](std::size_t value) { hash ^= value + 0x9E3779B97F4A7C15u + (hash << 6) + (hash >> 2); };
    for (const Story& story : library.stories) {
        mix(std::hash<double>{}(story.x));
        mix(std::hash<double>{}(story.y));
        mix(story.saved ? 1 : 2);
    }
    for (const Link& link : library.links) {
        mix(std::hash<std::string_view>{}(link.a));
        mix(std::hash<std::string_view>{}(link.b));
        mix(static_cast<std::size_t>(link.kind));
    }
    return hash;
}

// Keeps the layer as painted so far (grid and links at rest) as the backdrop of turning frames.
void keepBackdrop(BoardSurface& surface, const ViewState& app, const Library& library, const DipRect& L,
                  const BoardView& view)
{
    BoardPictures& pictures = *surface.pictures;
    pictures.backdropKey.reset();
    const bool copied = copyThroughOffscreen(surface.canvas, pictures.backdrop,
                                             RECT{0, 0, pictures.layerWidth, pictures.layerHeight}, true);
    if (copied && surface.canvas.status == Gdiplus::Ok)
        pictures.backdropKey = BoardPictures::BackdropKey{L, surface.canvas.scale, app.palette, surface.left,
                                                          surface.top, view.zoom, view.panX, view.panY,
                                                          boardFingerprint(library)};
}

// While the wheel turns, the backdrop kept at rest stretched to the new zoom and pan instead of
// drawing every link again; false when there is none for this canvas. Its edges (border and
// corners) are left out, and it is clipped to the canvas's rounded inside.
bool drawScaledBackdrop(BoardSurface& surface, const ViewState& app, const Library& library, const DipRect& L,
                        const BoardView& view)
{
    BoardPictures& pictures = *surface.pictures;
    const auto& key = pictures.backdropKey;
    const float s = surface.canvas.scale;
    if (!key || key->zoom <= 0 || !(key->canvas == L) || key->scale != s || !(key->palette == app.palette)
        || key->left != surface.left || key->top != surface.top || key->board != boardFingerprint(library))
        return false;
    const double a = view.zoom / key->zoom;
    const auto mapX = [&](double x) { return L.left + view.panX + a * (x - L.left - key->panX); };
    const auto mapY = [&](double y) { return L.top + view.panY + a * (y - L.top - key->panY); };
    const auto device = [&](double dip, int origin) { return static_cast<int>(std::lround(dip * s)) - origin; };
    const double r = CANVAS_RADIUS;
    const double x0 = L.left + r, y0 = L.top + r, x1 = L.left + L.width - r, y1 = L.top + L.height - r;
    const int sx = device(x0, surface.left), sy = device(y0, surface.top);
    const int sw = device(x1, surface.left) - sx, sh = device(y1, surface.top) - sy;
    const int dx = device(mapX(x0), surface.left), dy = device(mapY(y0), surface.top);
    const int dw = device(mapX(x1), surface.left) - dx, dh = device(mapY(y1), surface.top) - dy;
    const HDC kept = pictures.backdrop.reserve(pictures.layerWidth, pictures.layerHeight);
    if (!kept || sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0)
        return false;
    HDC layer = nullptr;
    if (gp::GdipGetDC(surface.canvas.graphics, &layer) != Gdiplus::Ok)
        return false;
    const int saved = SaveDC(layer);
    const int inset = static_cast<int>(std::ceil(2 * s)), corner = static_cast<int>(std::lround(2 * (r - 2) * s));
    HRGN inside = CreateRoundRectRgn(device(L.left, surface.left) + inset, device(L.top, surface.top) + inset,
                                     device(L.left + L.width, surface.left) - inset + 1,
                                     device(L.top + L.height, surface.top) - inset + 1, corner, corner);
    if (inside) {
        SelectClipRgn(layer, inside);
        DeleteObject(inside);
    }
    // The plain stretch: the frame stands for a moment only, and a filtered one costs a notch's budget.
    SetStretchBltMode(layer, COLORONCOLOR);
    const bool drawn = inside && StretchBlt(layer, dx, dy, dw, dh, kept, sx, sy, sw, sh, SRCCOPY) != FALSE;
    RestoreDC(layer, saved);
    gp::GdipReleaseDC(surface.canvas.graphics, layer);
    return drawn;
}

// Grid, links, cards and the empty message: everything inside the canvas.
void paintCanvasInside(BoardSurface& surface, ViewState& app, const Library& library, const DipRect& L,
                       const BoardView& view)
{
    paintGrid(surface, app.palette, L, view);

    // The cards' places come first, so the links they hide can be left out.
    app.hitRows.clear();
    std::vector<const Story*> cards;
    for (const Story& story : library.stories) {
        if (!story.saved)
            continue;
        const DipRect r = boardCardRect(L, view, story.x, story.y);
        app.hitRows.push_back({r.left, r.top, r.width, r.height, story.id});
        cards.push_back(&story);
    }
    if (!surface.pictures) {
        paintLinks(surface, app, library, L, view, nullptr);
    } else if (!app.boardZoomTurning || !drawScaledBackdrop(surface, app, library, L, view)) {
        const CardCover cover(app.hitRows, L);
        paintLinks(surface, app, library, L, view, &cover);
        if (!app.boardZoomTurning)
            keepBackdrop(surface, app, library, L, view);
    }

    if (surface.pictures)
        for (auto& [id, picture] : surface.pictures->cards)
            picture.used = false;
    const auto z = static_cast<float>(view.zoom);
    for (std::size_t i = 0; i < cards.size(); ++i) {
        const HitRecord& h = app.hitRows[i];
        const DipRect r{h.left, h.top, h.width, h.height};
        if (meetsCanvas(L, r.left - 1, r.top - 1, r.width + 5, r.height + 6))  // the shadow reaches 3 and 4 further
            drawCard(surface, app, *cards[i], r, z);
    }
    // Pictures of cards out of view are dropped once the wheel rests: while it turns, the cards
    // that the next notch brings back keep theirs.
    if (surface.pictures && !app.boardZoomTurning)
        std::erase_if(surface.pictures->cards, [&](const auto& entry) {
            if (entry.second.used)
                return false;
            surface.pictures->cardBytes -= entry.second.sprite.bytes();
            return true;
        });
    if (cards.empty())
        drawText(surface.canvas, std::wstring_view(UiText(UiStringKey::EmptyBoard)),
                 {L.left + 40, L.top + 75, L.width - 80, 210},
                 {.size = 24.0f, .colour = app.palette.muted, .georgia = true, .centred = true});
}

// Copies between the frame and the layer.
bool copyLayer(Canvas& canvas, BoardPictures& pictures, int left, int top, bool intoLayer)
{
    return copyThroughOffscreen(canvas, pictures.layer,
                                RECT{left, top, left + pictures.layerWidth, top + pictures.layerHeight}, intoLayer);
}

// Paints the canvas's inside on the layer and copies it into the frame; false when the layer
// cannot be had, before anything was drawn.
bool paintThroughLayer(Canvas& canvas, ViewState& app, const Library& library, const DipRect& L, const BoardView& view)
{
    if (!canvas.kit)
        return false;
    if (!canvas.kit->board)
        canvas.kit->board.reset(new BoardPictures);
    BoardPictures& pictures = *canvas.kit->board;
    const float s = canvas.scale;
    const auto left = static_cast<int>(std::floor(L.left * s)), top = static_cast<int>(std::floor(L.top * s));
    pictures.layerWidth = static_cast<int>(std::ceil((L.left + L.width) * s)) - left;
    pictures.layerHeight = static_cast<int>(std::ceil((L.top + L.height) * s)) - top;
    if (pictures.layerWidth <= 0 || pictures.layerHeight <= 0 || !copyLayer(canvas, pictures, left, top, true))
        return false;

    Canvas layerCanvas;
    const HDC layerDc = pictures.layer.reserve(pictures.layerWidth, pictures.layerHeight);
    if (layerDc && beginCanvas(layerCanvas, layerDc, s, canvas.kit, static_cast<float>(-left), static_cast<float>(-top))) {
        BoardSurface surface{layerCanvas, &pictures, left, top};
        paintCanvasInside(surface, app, library, L, view);
    }
    endCanvas(layerCanvas);
    recordStatus(canvas, layerCanvas.status);
    copyLayer(canvas, pictures, left, top, false);
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// The painter

void paintBoard(Canvas& canvas, ViewState& app, const Library& library)
{
    const DipRect L = app.boardViewRect;
    const BoardView view = boardViewOf(app);
    fillRoundedRect(canvas, L, 12, app.palette.boardCanvas, app.palette.line);
    if (!paintThroughLayer(canvas, app, library, L, view)) {
        Gdiplus::GraphicsState saved = 0;
        recordStatus(canvas, gp::GdipSaveGraphics(canvas.graphics, &saved));
        recordStatus(canvas, gp::GdipSetClipRect(canvas.graphics, L.left, L.top, L.width, L.height,
                                                 Gdiplus::CombineModeReplace));
        BoardSurface surface{canvas};
        paintCanvasInside(surface, app, library, L, view);
        recordStatus(canvas, gp::GdipRestoreGraphics(canvas.graphics, saved));
    }
    paintStoryPanel(canvas, app, library);
}

