// The end-to-end benchmark: starts the real Kestrune.exe in UI test mode with prepared data folders
// and measures it from this process as the UI driver drives it: repaints against a bare
// double-buffered paint, click to settled frame on screen, start to first frame against a bare
// window process, and memory. Every figure ends as one "RESULT <key> <value>" line.
#include "window_bench.h"

#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <set>

using namespace bench;
using namespace std::chrono_literals;

namespace {

constexpr int SECTION_DISCOVER = 100, SECTION_BOARD = 101, SECTION_ATLAS = 102, FIT_BOARD = 125, PLATE_1 = 141;
constexpr int ACTUAL_PIXELS = 143, ZOOM_OUT = 145;
constexpr int CLIENT_WIDTH = 1280, CLIENT_HEIGHT = 820;
// A full plate takes seconds to decode under Wine, more on a shared machine.
constexpr auto DECODE_TIMEOUT = 180s;

const char* const KEYS[] = {
    "paint.baseline.ms",        "paint.discover600.ms",    "paint.board600.ms",         "paint.board600.zoomstep.ms",
    "paint.board600.steady.ms", "paint.atlas.fit.ms",      "paint.atlas.zoomout3.ms",   "paint.atlas.actual.ms",
    "atlas.plate0.settle.ratio", "atlas.preview.ms",       "mem.idle600.ws.mib",        "mem.plate0.peakws.mib",
    "mem.plate1.ws.mib",        "start.seed.ratio",        "start.600.ratio",           "select.bigstory.ms",
};

class Results {
public:
    void print(const char* key, double value, const char* what)
    {
        if (value < 0) {
            std::printf("could not measure %s (%s)\n", key, what);
            std::fflush(stdout);
            return;
        }
        std::printf("%-44s %10.2f\nRESULT %s %.2f\n", what, value, key, value);
        std::fflush(stdout);
        printed_.insert(key);
    }
    void note(const char* text)
    {
        std::printf("%s\n", text);
        std::fflush(stdout);
    }
    bool complete() const
    {
        bool all = true;
        for (const char* key : KEYS)
            if (!printed_.count(key)) {
                std::printf("missing: %s\n", key);
                all = false;
            }
        return all;
    }

private:
    std::set<std::string> printed_;
};

// The median, or -1 when any one of the samples could not be taken.
double medianOf(const std::vector<double>& times)
{
    return std::any_of(times.begin(), times.end(), [](double t) { return t < 0; }) ? -1 : median(times);
}

double ratio(double subject, double baseline)
{
    return subject > 0 && baseline > 0 ? subject / baseline : -1;
}


// The UI driver finds the program through the build folder CTest names; run by hand, this
// executable's own place in the build says it.
void ensureBuildFolder()
{
    wchar_t value[8] = {};
    if (GetEnvironmentVariableW(L"KESTRUNE_BUILD_DIR", value, 8) > 0)
        return;
    std::wstring folder = moduleFolder();  // build\bench\window
    for (int up = 0; up < 2; ++up)
        folder.erase(folder.find_last_of(L"\\/"));
    SetEnvironmentVariableW(L"KESTRUNE_BUILD_DIR", folder.c_str());
}

// ---------------------------------------------------------------------------------------------
// The method on a window of this process

void calibrate(Results& results, const Repetitions& reps)
{
    CalibrationWindow calibration(CLIENT_WIDTH, CLIENT_HEIGHT);
    if (!calibration.window()) {
        results.note("the calibration window could not be made");
        return;
    }
    const auto series = [&](CalibrationPaint paint, const char* name) {
        calibration.setPaint(paint);
        std::vector<double> samples;
        const double result = medianRepaint(calibration.window(), false, reps.warmUp, reps.paints, &samples);
        std::printf("method check, %s:", name);
        for (double sample : samples)
            std::printf(" %.1f", sample);
        std::printf(" ms\n");
        return result;
    };
    const double empty = series(CalibrationPaint::Empty, "empty paint");
    const double sleeping = series(CalibrationPaint::Sleep50, "50 ms paint");
    const double baseline = series(CalibrationPaint::DoubleBuffered, "double-buffered paint");
    std::printf("method check: an empty paint reads %.2f ms, a 50 ms paint %.2f ms (should read 50-55)%s\n", empty,
                sleeping, sleeping >= 50 && sleeping <= 55 ? "" : "  OUT OF RANGE: figures below are doubtful");
    results.print("paint.baseline.ms", baseline, "bare double-buffered paint, ms");
}

// ---------------------------------------------------------------------------------------------
// Start to first frame

// Program and bare window processes in turn, so that load from elsewhere falls on all alike. The
// bare window with the program's controls is a diagnostic: what the window system alone charges.
void measureStart(Results& results, const Repetitions& reps, const char* key, const char* library,
                  const FirstTexts& first)
{
    const std::wstring bare = moduleFolder() + L"\\bare_window.exe";
    const std::wstring program = ui::kestruneExe();
    const std::wstring controls = L"--controls " + std::to_wstring(first.body) + L" " + std::to_wstring(first.note);
    // Untimed starts first: the first run of an executable reads it from disk.
    for (int i = 0; i < reps.startWarmUp; ++i) {
        timeToFirstFrame(bare, L"", BARE_WINDOW_CLASS);
        timeToFirstFrame(bare, controls, BARE_WINDOW_CLASS);
        timeToFirstFrame(program, L"--ui-test", ui::TEST_WINDOW_CLASS);
    }
    std::vector<double> programTimes, bareTimes, controlsTimes;
    for (int i = 0; i < reps.starts; ++i) {
        bareTimes.push_back(timeToFirstFrame(bare, L"", BARE_WINDOW_CLASS));
        controlsTimes.push_back(timeToFirstFrame(bare, controls, BARE_WINDOW_CLASS));
        programTimes.push_back(timeToFirstFrame(program, L"--ui-test", ui::TEST_WINDOW_CLASS));
    }
    const double programMedian = medianOf(programTimes);
    const double bareMedian = medianOf(bareTimes);
    const double controlsMedian = medianOf(controlsTimes);
    std::printf("start to first frame, %s: program %.1f ms, bare window process %.1f ms\n", library, programMedian,
                bareMedian);
    std::printf("  the bare window with the program's child controls and first story's texts: %.1f ms (%.2f x bare)\n",
                controlsMedian, ratio(controlsMedian, bareMedian));
    const std::string what = std::string("start, ") + library + " / bare window";
    results.print(key, ratio(programMedian, bareMedian), what.c_str());
}

// ---------------------------------------------------------------------------------------------
// One session of the program with the 600 stories

struct Session {
    ui::Program& program;
    float scale = 1.0f;
    RECT area{};

    int px(double dip) const { return static_cast<int>(dip * scale + 0.5); }
    double repaint(const Repetitions& reps) const
    {
        quiet();
        return medianRepaint(program.window, true, reps.warmUp, reps.paints);
    }
    // Reading the screen back (the settling, the screenshots) leaves Wine's round trips slow for a
    // while; repaints are timed once that has passed.
    static void quiet() { Sleep(1500); }
    // Not a result: the same view composed anew, the painters' own cost as the user meets it after
    // a change.
    void printComposedRepaint(const Repetitions& reps, const char* what) const
    {
        quiet();
        const double ms = medianRepaint(program.window, true, reps.warmUp, reps.paints, nullptr, Redraw::Tick);
        std::printf("  %s composed anew after the program's tick: %.2f ms\n", what, ms);
    }
    bool inState(const std::string& name, const std::string& value) const
    {
        return ui::queryState(program)[name] == value;
    }
    Settling clickUntilSettled(const std::function<void()>& action, const std::function<bool()>& done = {},
                               std::chrono::milliseconds timeout = 60s) const
    {
        Settling result = timeToSettled(program, area, action, done, 300ms, timeout);
        if (!result.settled) {
            // What the screen did instead, for whoever has to find out why.
            std::printf("  no settled frame: %zu pictures;", result.frames.size());
            for (std::size_t i = result.frames.size() > 6 ? result.frames.size() - 6 : 0; i < result.frames.size(); ++i)
                std::printf(" %.0f", result.frames[i].ms);
            const ui::State state = ui::queryState(program);
            std::printf(" ms; section %s, story %s, plate %s, decoding %s, status \"%s\"\n", state["section"].c_str(),
                        state["selectedStoryId"].c_str(), state["loadedPlate"].c_str(),
                        state["plateDecodeRunning"].c_str(), state["statusText"].c_str());
        }
        return result;
    }
};

// When each new picture was first seen, as a line of the report.
void printPictures(const char* what, const Settling& settling)
{
    std::printf("  %s: pictures first seen at", what);
    for (const Frame& frame : settling.frames)
        std::printf(" %.0f", frame.ms);
    std::printf(" ms\n");
}

void measureDiscover(Results& results, const Session& s, const Repetitions& reps)
{
    const MemoryFigures idle = memoryOf(s.program.process);
    std::printf("memory idle, 600 stories: working set %.1f MiB, peak %.1f MiB, private %.1f MiB\n", idle.workingSetMiB,
                idle.peakWorkingSetMiB, idle.privateMiB);
    results.print("mem.idle600.ws.mib", idle.workingSetMiB, "working set, idle with 600 stories, MiB");
    results.print("paint.discover600.ms", s.repaint(reps), "repaint, Discover with 600 stories, ms");
    s.printComposedRepaint(reps, "Discover");

    // Rows are 123 dip apart from y = 208; the largest story is the second row.
    const int x = s.px(400), firstRow = s.px(208 + 56), bigRow = s.px(208 + 123 * BIG_STORY_INDEX + 56);
    const std::string firstId = maximalStoryId(0), bigId = maximalStoryId(BIG_STORY_INDEX);
    std::vector<double> times;
    for (int i = 0; i < reps.selections; ++i) {
        postMouseClick(s.program, x, firstRow);
        if (!waitForState(s.program, "selectedStoryId", firstId, 30s) || !waitUntilPainted(s.program.window, true)) {
            times.push_back(-1);
            continue;
        }
        const Settling big = s.clickUntilSettled([&] { postMouseClick(s.program, x, bigRow); },
                                                 [&] { return s.inState("selectedStoryId", bigId); });
        times.push_back(big.settled ? big.settledMs : -1);
        if (i == 0)
            printPictures("selecting the largest story", big);
    }
    results.print("select.bigstory.ms", medianOf(times), "select the 24,000-byte story to settled, ms");
    ui::saveScreenshot(s.program, L"window-bench-big-story");
}

void measureBoard(Results& results, const Session& s, const Repetitions& reps)
{
    const Settling entered = s.clickUntilSettled([&] { postClick(s.program, SECTION_BOARD); },
                                                 [&] { return s.inState("section", "1"); });
    std::printf("entering the board, click to settled: %.1f ms\n", entered.settledMs);
    // Screenshots come after the repaints: a capture of the screen leaves the next round trips
    // slow for a while under Wine, which would be timed as the program's.
    results.print("paint.board600.ms", s.repaint(reps), "repaint, board with 600 cards as it opens, ms");
    s.printComposedRepaint(reps, "board");
    ui::saveScreenshot(s.program, L"window-bench-board-opened");

    sendCommand(s.program, FIT_BOARD);
    waitUntilPainted(s.program.window, true);
    // A notch at the canvas centre, up and down in turn, so every step paints each card afresh.
    const int x = s.px(224 + (CLIENT_WIDTH - 600) / 2.0), y = s.px(204 + (CLIENT_HEIGHT - 268) / 2.0);
    std::vector<double> steps, steady;
    std::string zooms;
    for (int i = 0; i < reps.warmUp + reps.paints; ++i) {
        const auto start = Clock::now();
        sendWheel(s.program, x, y, i % 2 == 0 ? 120 : -120);
        const bool painted = waitUntilPainted(s.program.window, true);
        const double step = painted ? millisecondsSince(start) : -1;
        // Composed anew as well, without the wheel: a repaint from outside would only copy the kept frame.
        const double again = timeRepaint(s.program.window, true, Redraw::Tick);
        if (i < 2)
            zooms.append(" ").append(ui::queryState(s.program)["boardZoom"]);
        if (i >= reps.warmUp) {
            steps.push_back(step);
            steady.push_back(again);
        }
    }
    std::printf("board zoom after the first two notches:%s\n", zooms.c_str());
    ui::saveScreenshot(s.program, L"window-bench-board-zoomed");
    results.print("paint.board600.zoomstep.ms", medianOf(steps), "first paint after a wheel notch, board, ms");
    results.print("paint.board600.steady.ms", medianOf(steady), "repaint of the unchanged board, ms");
}

void measureAtlas(Results& results, const Session& s, const Repetitions& reps)
{
    const auto shown = [&](const char* section, const char* plate) {
        const ui::State state = ui::queryState(s.program);
        return state["section"] == section && state["loadedPlate"] == plate && state["plateDecodeRunning"] == "0";
    };
    s.clickUntilSettled([&] { postClick(s.program, SECTION_DISCOVER); }, [&] { return shown("0", "-1"); });
    std::vector<double> decodes, decodePeaks, previews, settles;
    for (int i = 0; i < reps.atlasEntries; ++i) {
        // Turn about with the program's decode, so that load from elsewhere falls on both alike.
        const BareDecode bare = timeBareDecodeOfPlate0(ui::kestruneExe());
        decodes.push_back(bare.ms);
        decodePeaks.push_back(bare.peakMiB);
        bool previewSaved = false;
        const Settling entered = s.clickUntilSettled(
            [&] { postClick(s.program, SECTION_ATLAS); },
            [&] {
                if (shown("2", "0"))
                    return true;
                if (!previewSaved && i == 0)
                    previewSaved = ui::saveScreenshot(s.program, L"window-bench-atlas-preview");
                return false;
            },
            DECODE_TIMEOUT);
        if (i == 0)
            printPictures("entering the atlas", entered);
        previews.push_back(entered.settled ? entered.longestEarlierMs : -1);
        settles.push_back(entered.settled ? entered.settledMs : -1);
        if (i + 1 < reps.atlasEntries)
            s.clickUntilSettled([&] { postClick(s.program, SECTION_DISCOVER); }, [&] { return shown("0", "-1"); });
    }
    const MemoryFigures plate0 = memoryOf(s.program.process);
    std::printf("memory, plate 0 shown: working set %.1f MiB, peak %.1f MiB, private %.1f MiB\n",
                plate0.workingSetMiB, plate0.peakWorkingSetMiB, plate0.privateMiB);
    const double decode = medianOf(decodes), settle = medianOf(settles);
    std::printf("plate 0: click to settled full plate %.0f ms, bare WIC decode %.0f ms\n", settle, decode);
    std::printf("  the bare decode's own process: peak working set %.1f MiB\n", medianOf(decodePeaks));
    results.print("atlas.preview.ms", medianOf(previews), "click to preview on screen, ms");
    results.print("atlas.plate0.settle.ratio", ratio(settle, decode), "click to settled plate 0 / bare decode");
    results.print("mem.plate0.peakws.mib", plate0.peakWorkingSetMiB, "peak working set, plate 0 shown, MiB");

    results.print("paint.atlas.fit.ms", s.repaint(reps), "repaint, atlas fitted, ms");
    s.printComposedRepaint(reps, "atlas fitted");
    ui::saveScreenshot(s.program, L"window-bench-atlas-plate0");
    for (int i = 0; i < 3; ++i)
        sendCommand(s.program, ZOOM_OUT);
    waitUntilPainted(s.program.window, true);
    std::printf("atlas zoom three steps out from fit: %s\n", ui::queryState(s.program)["atlasZoom"].c_str());
    results.print("paint.atlas.zoomout3.ms", s.repaint(reps), "repaint, atlas three steps out from fit, ms");
    s.printComposedRepaint(reps, "atlas three steps out");
    sendCommand(s.program, ACTUAL_PIXELS);
    waitUntilPainted(s.program.window, true);
    std::printf("atlas zoom at actual pixels: %s\n", ui::queryState(s.program)["atlasZoom"].c_str());
    results.print("paint.atlas.actual.ms", s.repaint(reps), "repaint, atlas at actual pixels, ms");
    s.printComposedRepaint(reps, "atlas at actual pixels");
    ui::saveScreenshot(s.program, L"window-bench-atlas-actual");

    postClick(s.program, PLATE_1);
    const bool loaded = ui::waitUntil([&] { return shown("2", "1"); }, DECODE_TIMEOUT);
    waitUntilPainted(s.program.window, true);
    const MemoryFigures plate1 = memoryOf(s.program.process);
    std::printf("memory, after switching to plate 1: working set %.1f MiB, peak %.1f MiB, private %.1f MiB\n",
                plate1.workingSetMiB, plate1.peakWorkingSetMiB, plate1.privateMiB);
    results.print("mem.plate1.ws.mib", loaded ? plate1.workingSetMiB : -1,
                  "working set after switching to plate 1, MiB");
}

void measureSession(Results& results, const Repetitions& reps, bool discoverOnly)
{
    ui::Program program = ui::launch(L"--ui-test");
    if (!program.window) {
        results.note("the program showed no window");
        return;
    }
    ui::resizeClient(program, CLIENT_WIDTH, CLIENT_HEIGHT);
    Session s{program};
    const double scale = stateNumber(ui::queryState(program), "dpiScale");
    s.scale = scale > 0 ? static_cast<float>(scale) : 1.0f;
    s.area = watchedArea(program, s.scale);
    // A press beside the list gives the main window the keyboard focus: no caret blinks in the frame.
    postMouseClick(program, s.px(100), s.px(400));
    ui::settle(program);

    measureDiscover(results, s, reps);
    if (!discoverOnly) {
        measureBoard(results, s, reps);
        measureAtlas(results, s, reps);
    }
    endInOrder(program);
}

}  // namespace

int main(int argc, char** argv)
{
    int wideCount = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &wideCount)) {
        const bool child = wideCount == 4 && std::wcscmp(wide[1], BARE_DECODE_OPTION) == 0;
        const int result = child ? runBareDecodeChild(wide[2], wide[3]) : -1;
        LocalFree(wide);
        if (child)
            return result;
    }
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool shortForm = false, calibrationOnly = false, startOnly = false, discoverOnly = false;
    for (int i = 1; i < argc; ++i) {
        shortForm = shortForm || std::strcmp(argv[i], "--short") == 0;
        calibrationOnly = calibrationOnly || std::strcmp(argv[i], "--calibrate") == 0;
        startOnly = startOnly || std::strcmp(argv[i], "--start") == 0;  // calibration and the starts
        discoverOnly = discoverOnly || std::strcmp(argv[i], "--discover") == 0;  // calibration and Discover
    }
    Repetitions reps;
    if (shortForm)
        reps = Repetitions{.warmUp = 1, .paints = 3, .startWarmUp = 0, .starts = 1, .selections = 1, .atlasEntries = 1};
    ensureBuildFolder();
    const HWND idle = ui::createIdleWindow(L"KestruneWindowBenchIdle");

    Results results;
    std::printf("window benchmark%s: medians of %d repaints after %d, %d starts, %d selections, %d atlas entries\n",
                shortForm ? " (short form)" : "", reps.paints, reps.warmUp, reps.starts, reps.selections,
                reps.atlasEntries);
    const auto start = Clock::now();
    const auto phase = [&](const char* name) { std::printf("[%.1f s] %s\n", millisecondsSince(start) / 1000, name); };
    phase("calibration");
    calibrate(results, reps);
    bool complete = true;
    if (!calibrationOnly) {
        ui::resetDataFolder();
        if (!discoverOnly) {
            phase("start to first frame, seed library");
            if (writeSeedLibrary())
                measureStart(results, reps, "start.seed.ratio", "seed library", firstStoryTexts());
        }
        if (writeMaximalLibrary()) {
            if (!discoverOnly) {
                phase("start to first frame, 600 stories");
                measureStart(results, reps, "start.600.ratio", "600 stories", firstStoryTexts());
            }
            if (!startOnly) {
                phase("one session with 600 stories");
                measureSession(results, reps, discoverOnly);
            }
        }
        ui::resetDataFolder();
        complete = startOnly || discoverOnly || results.complete();
    }
    phase("done");
    DestroyWindow(idle);
    CoUninitialize();
    return complete ? 0 : 1;
}
