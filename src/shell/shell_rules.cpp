// Small decision rules of the shell kept free of windows: command-line options, folder and class
// names, the typing and paste guards of the edit controls, and the arrow-key list selection.
#include "shell/shell.h"

#include <algorithm>

CommandLineOptions parseCommandLine(std::wstring_view commandLine)
{
    const auto has = [commandLine](std::wstring_view option) {
        return commandLine.find(option) != std::wstring_view::npos;
    };
    CommandLineOptions options;
    options.uiTestMode = has(L"--ui-test");
    if (options.uiTestMode)
        options.forcedLanguage = has(L"--ui-test-es") ? 1 : has(L"--ui-test-de") ? 2 : 0;
    options.networkChecks = has(L"--network-test");
    options.selfCheck = has(L"--self-test") || options.networkChecks;
    return options;
}

const wchar_t* dataFolderName(bool uiTestMode)
{
    return uiTestMode ? L"Kestrune-UI-Test" : L"Kestrune";
}

const wchar_t* windowClassName(bool uiTestMode)
{
    return uiTestMode ? L"KestruneTestWindow" : L"KestruneWindow";
}

std::wstring parentFolder(std::wstring_view path)
{
    const auto isSeparator = [](wchar_t c) { return c == L'\\' || c == L'/'; };
    std::size_t end = path.size();
    while (end > 0 && !isSeparator(path[end - 1]))
        --end;
    while (end > 0 && isSeparator(path[end - 1]))
        --end;
    return std::wstring(path.substr(0, end));
}

EditDecision decideEditChar(wchar_t code, const EditCharContext& context)
{
    constexpr wchar_t CTRL_A = 1, CTRL_C = 3, BACKSPACE = 8, TAB = 9, ENTER = 13, CTRL_V = 22, CTRL_X = 24,
                      CTRL_Z = 26;
    if (!context.editable)
        return code == CTRL_A || code == CTRL_C ? EditDecision::Accept : EditDecision::Refuse;

    if (code < 32) {
        if (code == TAB || (code == ENTER && context.singleLine))
            return EditDecision::Refuse;
        const bool allowed = code == CTRL_A || code == CTRL_C || code == BACKSPACE || code == ENTER
                          || code == CTRL_V || code == CTRL_X || (code == CTRL_Z && context.canUndo);
        if (!allowed)
            return EditDecision::Refuse;
    }
    if (code == BACKSPACE && context.selectionStart == 0 && context.selectionLength == 0)
        return EditDecision::Refuse;
    if (code >= 32 || code == ENTER) {
        // Enter becomes CR LF, two characters.
        const std::size_t added = code == ENTER ? 2 : 1;
        const std::size_t kept = context.length - std::min(context.selectionLength, context.length);
        if (kept + added > context.limit)
            return EditDecision::Refuse;
    }
    if (code >= 32 && !isSupportedWideText(std::wstring_view(&code, 1)))
        return EditDecision::RefuseUnsupported;
    return EditDecision::Accept;
}

EditDecision decidePaste(std::wstring_view pasted, const EditCharContext& context)
{
    if (!context.editable)
        return EditDecision::Refuse;
    if (!isSupportedWideText(pasted))
        return EditDecision::RefuseUnsupported;
    const std::size_t kept = context.length - std::min(context.selectionLength, context.length);
    if (kept + pasted.size() > context.limit)
        return EditDecision::RefuseUnsupported;
    return EditDecision::Accept;
}

int nextListIndex(int currentIndex, int direction, int count)
{
    if (count <= 0)
        return -1;
    const int current = currentIndex < 0 ? 0 : currentIndex;
    return std::clamp(current + direction, 0, count - 1);
}

std::int32_t listOffsetForIndex(int index)
{
    return std::max(0, (index - 1) * LIST_ROW_PITCH);
}

namespace {

std::uint32_t opaque(COLORREF colour)
{
    return 0xFF000000u | (static_cast<std::uint32_t>(GetRValue(colour)) << 16)
         | (static_cast<std::uint32_t>(GetGValue(colour)) << 8) | GetBValue(colour);
}

}  // namespace

Palette highContrastPalette(const SystemColours& colours)
{
    Palette palette;
    palette.ink = opaque(colours.windowText);
    palette.muted = opaque(colours.grayText);
    palette.cobalt = opaque(colours.highlight);
    palette.paper = opaque(colours.window);
    palette.card = opaque(colours.window);
    palette.line = opaque(colours.windowText);
    palette.apricot = opaque(colours.highlight);
    palette.cobaltTint = opaque(colours.buttonFace);
    palette.headerStart = palette.headerEnd = opaque(colours.window);
    palette.routeLine = opaque(colours.grayText);
    palette.statusBackground = opaque(colours.window);
    palette.statusErrorBackground = opaque(colours.highlight);
    palette.statusErrorText = opaque(colours.highlightText);
    palette.buttonPressed = opaque(colours.buttonFace);
    palette.selectedRowBorder = opaque(colours.highlight);
    palette.boardCanvas = opaque(colours.window);
    palette.gridDot = opaque(colours.grayText);
    palette.questionLink = opaque(colours.highlight);
    return palette;
}

Palette currentPalette()
{
    HIGHCONTRASTW setting{};
    setting.cbSize = sizeof(setting);
    // A UI test run can ask for high contrast ("--ui-test-high-contrast"), which Wine cannot switch on.
    const bool forced = std::wstring_view(GetCommandLineW()).find(L"--ui-test-high-contrast") != std::wstring_view::npos;
    if (!forced
        && (!SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(setting), &setting, 0)
            || !(setting.dwFlags & HCF_HIGHCONTRASTON)))
        return Palette{};
    return highContrastPalette(SystemColours{.window = GetSysColor(COLOR_WINDOW),
                                             .windowText = GetSysColor(COLOR_WINDOWTEXT),
                                             .highlight = GetSysColor(COLOR_HIGHLIGHT),
                                             .buttonFace = GetSysColor(COLOR_BTNFACE),
                                             .grayText = GetSysColor(COLOR_GRAYTEXT),
                                             .highlightText = GetSysColor(COLOR_HIGHLIGHTTEXT)});
}
