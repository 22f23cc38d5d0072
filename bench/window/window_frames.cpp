// What the user sees: the program's frame read back from the screen and hashed, over and over, to
// time an action until the picture no longer changes.
#include "window_bench.h"

#include <algorithm>

namespace bench {

namespace {

// A screen area copied into a 32-bit buffer of this process.
class ScreenCopy {
public:
    explicit ScreenCopy(const RECT& area)
        : area_(area), width_(area.right - area.left), height_(area.bottom - area.top)
    {
        screen_ = GetDC(nullptr);
        memory_ = CreateCompatibleDC(screen_);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -height_;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        bitmap_ = CreateDIBSection(screen_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
        previous_ = SelectObject(memory_, bitmap_);
    }
    ScreenCopy(const ScreenCopy&) = delete;
    ScreenCopy& operator=(const ScreenCopy&) = delete;
    ~ScreenCopy()
    {
        SelectObject(memory_, previous_);
        DeleteObject(bitmap_);
        DeleteDC(memory_);
        ReleaseDC(nullptr, screen_);
    }

    std::uint64_t hash()
    {
        if (!bits_ || width_ <= 0 || height_ <= 0)
            return 0;
        BitBlt(memory_, 0, 0, width_, height_, screen_, area_.left, area_.top, SRCCOPY);
        GdiFlush();
        // FNV-1a over 64-bit words: a cheap fingerprint, and a changed pixel changes it.
        const auto* words = static_cast<const std::uint64_t*>(bits_);
        const std::size_t count = std::size_t(width_) * std::size_t(height_) / 2;
        std::uint64_t h = 0xcbf29ce484222325ull;
        for (std::size_t i = 0; i < count; ++i)
            h = (h ^ words[i]) * 0x100000001b3ull;
        return h;
    }

private:
    RECT area_;
    int width_, height_;
    HDC screen_ = nullptr, memory_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    void* bits_ = nullptr;
};

// While the picture has held for this long, captures slow down so as to leave the program the CPU.
constexpr double IDLE_AFTER_MS = 300;
constexpr DWORD IDLE_CAPTURE_PAUSE_MS = 15;

}  // namespace

std::uint64_t captureHash(const RECT& screenArea)
{
    ScreenCopy copy(screenArea);
    return copy.hash();
}

RECT watchedArea(const ui::Program& program, float dpiScale)
{
    RECT client{};
    GetClientRect(program.window, &client);
    POINT origin{0, 0};
    ClientToScreen(program.window, &origin);
    const int sidebar = static_cast<int>(210 * dpiScale);
    return {origin.x + sidebar, origin.y, origin.x + client.right, origin.y + client.bottom};
}

// ---------------------------------------------------------------------------------------------
// FrameRecorder

FrameRecorder::FrameRecorder(const RECT& screenArea) : area_(screenArea) {}

FrameRecorder::~FrameRecorder()
{
    stop();
}

void FrameRecorder::start(Clock::time_point origin)
{
    stop();
    origin_ = origin;
    {
        std::lock_guard<std::mutex> guard(mutex_);
        frames_.clear();
        lastCapture_ = 0;
        captures_ = 0;
    }
    running_ = true;
    thread_ = std::thread([this] { run(); });
}

std::vector<Frame> FrameRecorder::stop()
{
    running_ = false;
    if (thread_.joinable())
        thread_.join();
    std::lock_guard<std::mutex> guard(mutex_);
    return frames_;
}

Frame FrameRecorder::latest(double* unchangedFor) const
{
    std::lock_guard<std::mutex> guard(mutex_);
    if (frames_.empty()) {
        if (unchangedFor)
            *unchangedFor = 0;
        return {};
    }
    if (unchangedFor)
        *unchangedFor = lastCapture_ - frames_.back().ms;
    return frames_.back();
}

std::size_t FrameRecorder::captureCount() const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return captures_;
}

bool FrameRecorder::changedFrom(std::uint64_t hash) const
{
    std::lock_guard<std::mutex> guard(mutex_);
    return std::any_of(frames_.begin(), frames_.end(), [&](const Frame& frame) { return frame.hash != hash; });
}

void FrameRecorder::run()
{
    ScreenCopy copy(area_);
    while (running_) {
        const std::uint64_t hash = copy.hash();
        const double ms = millisecondsSince(origin_);
        double held = 0;
        {
            std::lock_guard<std::mutex> guard(mutex_);
            if (frames_.empty() || frames_.back().hash != hash)
                frames_.push_back({ms, hash});
            lastCapture_ = ms;
            ++captures_;
            held = ms - frames_.back().ms;
        }
        Sleep(held > IDLE_AFTER_MS ? IDLE_CAPTURE_PAUSE_MS : 0);
    }
}

// ---------------------------------------------------------------------------------------------
// Click to settled

Settling timeToSettled(const ui::Program& program, const RECT& area, const std::function<void()>& action,
                       const std::function<bool()>& done, std::chrono::milliseconds quiet,
                       std::chrono::milliseconds timeout)
{
    Settling result;
    const std::uint64_t before = captureHash(area);
    FrameRecorder recorder(area);
    const auto start = Clock::now();
    recorder.start(start);
    action();
    const auto deadline = start + timeout;
    auto nextDoneCheck = start;
    while (Clock::now() < deadline) {
        Sleep(20);
        double held = 0;
        const Frame shown = recorder.latest(&held);
        if (!recorder.changedFrom(before) || held < static_cast<double>(quiet.count()))
            continue;
        // The picture held: it counts once the program has nothing left to paint and, when the
        // action ends in a known state, has reached it.
        if (!waitUntilPainted(program.window, true, std::chrono::seconds(10)))
            continue;
        if (done) {
            if (Clock::now() < nextDoneCheck)
                continue;
            nextDoneCheck = Clock::now() + std::chrono::milliseconds(250);
            if (!done())
                continue;
        }
        const std::size_t seen = recorder.captureCount();
        while (recorder.captureCount() < seen + 2 && Clock::now() < deadline)
            Sleep(5);
        if (recorder.latest(nullptr).hash != shown.hash)
            continue;
        result.settled = true;
        break;
    }
    result.frames = recorder.stop();
    if (!result.settled || result.frames.empty())
        return result;
    result.settledMs = result.frames.back().ms;
    double longest = -1;
    for (std::size_t i = 0; i + 1 < result.frames.size(); ++i) {
        if (result.frames[i].hash == before)
            continue;
        const double shownFor = result.frames[i + 1].ms - result.frames[i].ms;
        if (shownFor > longest) {
            longest = shownFor;
            result.longestEarlierMs = result.frames[i].ms;
        }
    }
    return result;
}

}  // namespace bench
