// The end-to-end benchmark of the real program: the pieces it is made of, each measuring from this
// second process the way the UI driver drives the program.
#pragma once

#include "ui_driver.h"

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

double millisecondsSince(Clock::time_point start);
double median(std::vector<double> values);

// How long and how often; --short keeps every figure but takes few samples.
struct Repetitions {
    int warmUp = 3;
    int paints = 15;
    int startWarmUp = 1;
    int starts = 5;
    int selections = 5;
    int atlasEntries = 3;
};

// ---------------------------------------------------------------------------------------------
// Repaints (window_paint.cpp)

// True while the window, or with `children` one of its visible children, has an update region.
bool hasUpdateRegion(HWND window, bool children);
// Round trips through the window's thread until nothing of it is left to paint; false on time-out.
bool waitUntilPainted(HWND window, bool children, std::chrono::milliseconds timeout = std::chrono::seconds(30));
// One repaint, asked for one way or the other, then round trips until no update region is left.
// A sent WM_PAINT or RDW_UPDATENOW would race with the window's own paint and sometimes time two.
// How a repaint is asked for: the whole client area invalidated from outside, which an unchanged
// program answers from its kept frame; or the program's own 15-second tick, after which the frame
// is composed anew from its state.
enum class Redraw { Invalidate, Tick };
double timeRepaint(HWND window, bool children, Redraw way = Redraw::Invalidate);
// Median of `samples` repaints after `warmUp` untimed ones; -1 when a repaint never ended.
double medianRepaint(HWND window, bool children, int warmUp, int samples, std::vector<double>* times = nullptr,
                     Redraw way = Redraw::Invalidate);

// A window of the program's client size on a thread of this process, to calibrate the method.
enum class CalibrationPaint { Empty, Sleep50, DoubleBuffered };

class CalibrationWindow {
public:
    CalibrationWindow(int clientWidth, int clientHeight);
    CalibrationWindow(const CalibrationWindow&) = delete;
    CalibrationWindow& operator=(const CalibrationWindow&) = delete;
    ~CalibrationWindow();

    HWND window() const { return window_; }
    void setPaint(CalibrationPaint paint) { paint_ = static_cast<int>(paint); }

private:
    void run(int clientWidth, int clientHeight);

    std::atomic<HWND> window_{nullptr};
    std::atomic<int> paint_{0};
    std::atomic<bool> ready_{false};
    std::thread thread_;
};

// ---------------------------------------------------------------------------------------------
// Frames read back from the screen (window_frames.cpp)

struct Frame {
    double ms = 0;            // since the action, when the capture that showed it had ended
    std::uint64_t hash = 0;   // of the pixels of the watched area
};

// Reads an area of the screen over and over on its own thread and keeps every frame's hash.
class FrameRecorder {
public:
    explicit FrameRecorder(const RECT& screenArea);
    FrameRecorder(const FrameRecorder&) = delete;
    FrameRecorder& operator=(const FrameRecorder&) = delete;
    ~FrameRecorder();

    void start(Clock::time_point origin);
    std::vector<Frame> stop();
    // The last picture seen, and for how long (ms) the captures since have shown nothing else.
    Frame latest(double* unchangedFor) const;
    std::size_t captureCount() const;
    bool changedFrom(std::uint64_t hash) const;

private:
    void run();

    RECT area_{};
    Clock::time_point origin_{};
    std::atomic<bool> running_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::vector<Frame> frames_;  // one per change: the first capture that showed each picture
    double lastCapture_ = 0;
    std::size_t captures_ = 0;
};

// One hash of what the screen shows in that area now.
std::uint64_t captureHash(const RECT& screenArea);

// Where the program's frame can change because of the bench: its client area right of the sidebar,
// whose clock turns over each minute.
RECT watchedArea(const ui::Program& program, float dpiScale);

struct Settling {
    bool settled = false;
    double settledMs = -1;         // when the frame that stayed was first seen
    double longestEarlierMs = -1;  // start of the longest-shown frame before it (a preview)
    std::vector<Frame> frames;
};

// Does `action`, then records frames until the picture changed, stayed unchanged for `quiet`,
// the program answers with nothing left to paint, and `done` (the state the action leads to) holds.
Settling timeToSettled(const ui::Program& program, const RECT& area, const std::function<void()>& action,
                       const std::function<bool()>& done, std::chrono::milliseconds quiet,
                       std::chrono::milliseconds timeout);

// ---------------------------------------------------------------------------------------------
// Driving the program without the driver's settling pauses (window_program.cpp)

void postClick(const ui::Program& program, int id);
void sendCommand(const ui::Program& program, int id);
void postMouseClick(const ui::Program& program, int x, int y);
// One wheel notch at a client point, sent so that it is handled before the next round trip.
void sendWheel(const ui::Program& program, int x, int y, int delta);
double stateNumber(const ui::State& state, const std::string& name);
bool waitForState(const ui::Program& program, const std::string& name, const std::string& value,
                  std::chrono::milliseconds timeout);

struct MemoryFigures {
    double workingSetMiB = -1;
    double peakWorkingSetMiB = -1;
    double privateMiB = -1;
};
MemoryFigures memoryOf(HANDLE process);

// Ends the program the way the end of a Windows session does, so it shuts down in order.
void endInOrder(ui::Program& program);

std::wstring moduleFolder();

// ---------------------------------------------------------------------------------------------
// Start to first frame (window_start.cpp)

// Milliseconds from CreateProcess to the first frame: its main window (of that class) visible and
// fully painted; -1 on failure. The process is ended in order afterwards.
double timeToFirstFrame(const std::wstring& exe, const std::wstring& arguments, const wchar_t* windowClass);

inline constexpr wchar_t BARE_WINDOW_CLASS[] = L"KestruneWindowBenchBare";

// ---------------------------------------------------------------------------------------------
// Prepared data folders (window_library.cpp)

inline constexpr std::size_t BIG_STORY_INDEX = 1;  // the second Discover row

std::string maximalStoryId(std::size_t index);

bool writeSeedLibrary();
// 600 stories with every text at its limit as far as the file limit allows, all on the board with
// 2000 links; the second story has the largest body the library accepts.
bool writeMaximalLibrary();
// Sizes in bytes of the first story's body and note in the library written last: the story the
// program selects at start.
struct FirstTexts {
    std::size_t body = 0;
    std::size_t note = 0;
};
FirstTexts firstStoryTexts();

// ---------------------------------------------------------------------------------------------
// The bare decode of plate 0 (window_program.cpp, with wic_decode.h)

// A bare WIC decode of the program's plate 0 resource, every pixel copied out, in a process of its
// own (this benchmark started again with BARE_DECODE_OPTION): a decode in the benchmark's own
// process would leave it slower at driving the program, and the child's peak working set is the
// floor any decoder of that file stands on here.
struct BareDecode {
    double ms = -1;         // -1 on failure
    double peakMiB = -1;
};
inline constexpr wchar_t BARE_DECODE_OPTION[] = L"--bare-decode";
BareDecode timeBareDecodeOfPlate0(const std::wstring& programPath);
// The child's side: decodes the plate of programPath and writes "<ms> <peak MiB>" to resultPath.
int runBareDecodeChild(const std::wstring& programPath, const std::wstring& resultPath);

}  // namespace bench
