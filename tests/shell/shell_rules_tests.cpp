// Command-line options, folder names and the edit guards' decisions as pure rules.
#include "shell/shell.h"

#include <gtest/gtest.h>

#include <string>

// ---------------------------------------------------------------------------------------------
// Command line

struct CommandLineCase {
    const wchar_t* text;
    bool uiTestMode;
    int language;
    bool selfCheck;
    bool network;
};

class CommandLine : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(CommandLine, RecognisesOptionsAsPlainSubstrings)
{
    const CommandLineCase& c = GetParam();
    const CommandLineOptions options = parseCommandLine(c.text);
    EXPECT_EQ(options.uiTestMode, c.uiTestMode);
    EXPECT_EQ(options.forcedLanguage, c.language);
    EXPECT_EQ(options.selfCheck, c.selfCheck);
    EXPECT_EQ(options.networkChecks, c.network);
}

INSTANTIATE_TEST_SUITE_P(
    Options, CommandLine,
    ::testing::Values(
        CommandLineCase{L"\"C:\\Program Files\\Kestrune\\Kestrune.exe\"", false, -1, false, false},
        CommandLineCase{L"Kestrune.exe --ui-test", true, 0, false, false},
        CommandLineCase{L"Kestrune.exe --ui-test-es", true, 1, false, false},
        CommandLineCase{L"Kestrune.exe --ui-test-de", true, 2, false, false},
        // Spanish wins over German when both are given, in any order.
        CommandLineCase{L"Kestrune.exe --ui-test-de --ui-test-es", true, 1, false, false},
        // No tokenising: the option may be glued to other text.
        CommandLineCase{L"Kestrune.exe x--ui-test-dey", true, 2, false, false},
        CommandLineCase{L"Kestrune.exe --self-test", false, -1, true, false},
        CommandLineCase{L"Kestrune.exe --network-test", false, -1, true, true},
        CommandLineCase{L"Kestrune.exe --self-test --network-test", false, -1, true, true},
        CommandLineCase{L"Kestrune.exe --UI-TEST", false, -1, false, false},
        CommandLineCase{L"C:\\--ui-test\\Kestrune.exe", true, 0, false, false}));

TEST(Names, DataFolderAndWindowClassFollowTheMode)
{
    EXPECT_STREQ(dataFolderName(false), L"Kestrune");
    EXPECT_STREQ(dataFolderName(true), L"Kestrune-UI-Test");
    EXPECT_STREQ(windowClassName(false), L"KestruneWindow");
    EXPECT_STREQ(windowClassName(true), L"KestruneTestWindow");
}

TEST(ParentFolder, DropsTheLastComponentAndEverySeparatorBeforeIt)
{
    EXPECT_EQ(parentFolder(L"C:\\apps\\Kestrune\\Kestrune.exe"), L"C:\\apps\\Kestrune");
    EXPECT_EQ(parentFolder(L"Z:/build/src/shell//Kestrune.exe"), L"Z:/build/src/shell");
    EXPECT_EQ(parentFolder(L"C:\\a\\/\\b.exe"), L"C:\\a");
    EXPECT_EQ(parentFolder(L"Kestrune.exe"), L"");
}

// ---------------------------------------------------------------------------------------------
// Typing guards

namespace {

EditCharContext note(std::size_t length, std::size_t start = 0, std::size_t selected = 0)
{
    EditCharContext context;
    context.length = length;
    context.selectionStart = start;
    context.selectionLength = selected;
    context.limit = 2400;
    return context;
}

EditCharContext search(std::size_t length)
{
    EditCharContext context = note(length, length);
    context.singleLine = true;
    context.limit = 150;
    return context;
}

}  // namespace

TEST(TypingGuard, RefusesCyrillicWithTheUnsupportedMessage)
{
    EXPECT_EQ(decideEditChar(0x0416, note(5, 5)), EditDecision::RefuseUnsupported);  // Ж
    EXPECT_EQ(decideEditChar(0x052F, note(5, 5)), EditDecision::RefuseUnsupported);
    EXPECT_EQ(decideEditChar(0x2DE0, note(5, 5)), EditDecision::RefuseUnsupported);
    EXPECT_EQ(decideEditChar(0xA69F, note(5, 5)), EditDecision::RefuseUnsupported);
}

TEST(TypingGuard, AcceptsAccentedLatinAndNeighboursOfTheRefusedBlocks)
{
    EXPECT_EQ(decideEditChar(L'\u00E4', note(5, 5)), EditDecision::Accept);  // ä
    EXPECT_EQ(decideEditChar(L'\u00F1', note(5, 5)), EditDecision::Accept);  // ñ
    EXPECT_EQ(decideEditChar(0x03FF, note(5, 5)), EditDecision::Accept);
    EXPECT_EQ(decideEditChar(0x0530, note(5, 5)), EditDecision::Accept);
    EXPECT_EQ(decideEditChar(0xA6A0, note(5, 5)), EditDecision::Accept);
}

TEST(TypingGuard, RefusesTabEverywhereAndEnterOnlyInTheSearchBox)
{
    EXPECT_EQ(decideEditChar(9, note(5, 5)), EditDecision::Refuse);
    EXPECT_EQ(decideEditChar(9, search(5)), EditDecision::Refuse);
    EXPECT_EQ(decideEditChar(13, search(5)), EditDecision::Refuse);
    EXPECT_EQ(decideEditChar(13, note(5, 5)), EditDecision::Accept);
}

TEST(TypingGuard, LetsOnlyTheEditingControlCharactersThrough)
{
    for (wchar_t code : {1, 3, 22, 24})
        EXPECT_EQ(decideEditChar(code, note(5, 5)), EditDecision::Accept) << int(code);
    for (wchar_t code : {0, 2, 7, 10, 27, 31})
        EXPECT_EQ(decideEditChar(code, note(5, 5)), EditDecision::Refuse) << int(code);
}

TEST(TypingGuard, CtrlZOnlyWhileTheControlCanUndo)
{
    EditCharContext context = note(5, 5);
    EXPECT_EQ(decideEditChar(26, context), EditDecision::Refuse);
    context.canUndo = true;
    EXPECT_EQ(decideEditChar(26, context), EditDecision::Accept);
}

TEST(TypingGuard, BackspaceAtTheStartWithoutSelectionIsRefused)
{
    EXPECT_EQ(decideEditChar(8, note(5, 0, 0)), EditDecision::Refuse);
    EXPECT_EQ(decideEditChar(8, note(5, 0, 3)), EditDecision::Accept);
    EXPECT_EQ(decideEditChar(8, note(5, 1, 0)), EditDecision::Accept);
}

TEST(TypingGuard, RefusesSilentlyPastTheLimit)
{
    EXPECT_EQ(decideEditChar(L'a', note(2399, 2399)), EditDecision::Accept);
    EXPECT_EQ(decideEditChar(L'a', note(2400, 2400)), EditDecision::Refuse);
    // A selection is replaced, so it frees its room.
    EXPECT_EQ(decideEditChar(L'a', note(2400, 10, 1)), EditDecision::Accept);
    // Enter becomes two characters.
    EXPECT_EQ(decideEditChar(13, note(2398, 2398)), EditDecision::Accept);
    EXPECT_EQ(decideEditChar(13, note(2399, 2399)), EditDecision::Refuse);
    // Even a refused character at the limit is refused silently, not as unsupported.
    EXPECT_EQ(decideEditChar(0x0416, note(2400, 2400)), EditDecision::Refuse);
    EXPECT_EQ(decideEditChar(L'a', search(150)), EditDecision::Refuse);
}

TEST(TypingGuard, ReadOnlyTextTakesOnlySelectAllAndCopy)
{
    EditCharContext readOnly = note(100, 0);
    readOnly.editable = false;
    EXPECT_EQ(decideEditChar(1, readOnly), EditDecision::Accept);
    EXPECT_EQ(decideEditChar(3, readOnly), EditDecision::Accept);
    EXPECT_EQ(decideEditChar(L'a', readOnly), EditDecision::Refuse);
    EXPECT_EQ(decideEditChar(22, readOnly), EditDecision::Refuse);
    EXPECT_EQ(decideEditChar(8, readOnly), EditDecision::Refuse);
}

// ---------------------------------------------------------------------------------------------
// Paste guard

TEST(PasteGuard, TenCharactersDoNotFitFiveDo)
{
    EXPECT_EQ(decidePaste(L"0123456789", note(2395, 2395)), EditDecision::RefuseUnsupported);
    EXPECT_EQ(decidePaste(L"01234", note(2395, 2395)), EditDecision::Accept);
    // Replacing a selection of 5 makes room for the 10.
    EXPECT_EQ(decidePaste(L"0123456789", note(2395, 0, 5)), EditDecision::Accept);
}

TEST(PasteGuard, RefusesAnyCyrillicCodeUnit)
{
    EXPECT_EQ(decidePaste(L"caf\u00E9 \u0416", note(0)), EditDecision::RefuseUnsupported);
    EXPECT_EQ(decidePaste(L"caf\u00E9 \u00FC\u00DF", note(0)), EditDecision::Accept);
}

TEST(PasteGuard, ReadOnlyTextNeverTakesAPaste)
{
    EditCharContext readOnly = note(0);
    readOnly.editable = false;
    EXPECT_EQ(decidePaste(L"a", readOnly), EditDecision::Refuse);
}

// ---------------------------------------------------------------------------------------------
// Arrow-key selection

TEST(ArrowSelection, MovesOneRowAndStopsAtBothEnds)
{
    EXPECT_EQ(nextListIndex(0, +1, 4), 1);
    EXPECT_EQ(nextListIndex(3, +1, 4), 3);
    EXPECT_EQ(nextListIndex(0, -1, 4), 0);
    EXPECT_EQ(nextListIndex(2, -1, 4), 1);
}

TEST(ArrowSelection, AStoryOutsideTheListCountsAsTheFirstRow)
{
    EXPECT_EQ(nextListIndex(-1, +1, 4), 1);
    EXPECT_EQ(nextListIndex(-1, -1, 4), 0);
}

TEST(ArrowSelection, EmptyListSelectsNothing)
{
    EXPECT_EQ(nextListIndex(-1, +1, 0), -1);
}

TEST(ArrowSelection, ScrollKeepsOneRowAboveTheSelection)
{
    EXPECT_EQ(listOffsetForIndex(0), 0);
    EXPECT_EQ(listOffsetForIndex(1), 0);
    EXPECT_EQ(listOffsetForIndex(2), 123);
    EXPECT_EQ(listOffsetForIndex(5), 492);
}

TEST(HighContrast, ThemeColoursReplaceThePaletteAndTheUsualColoursStayOtherwise)
{
    // The black theme: white text on black, cyan highlight, grey disabled text.
    const Palette dark = highContrastPalette(SystemColours{.window = RGB(0, 0, 0),
                                                           .windowText = RGB(255, 255, 255),
                                                           .highlight = RGB(0x1A, 0xEB, 0xFF),
                                                           .buttonFace = RGB(0x20, 0x20, 0x20),
                                                           .grayText = RGB(0x3F, 0xF2, 0x3F),
                                                           .highlightText = RGB(0, 0, 0)});
    EXPECT_EQ(dark.ink, 0xFFFFFFFFu);
    EXPECT_EQ(dark.line, 0xFFFFFFFFu) << "borders must show against the window colour";
    EXPECT_EQ(dark.paper, 0xFF000000u);
    EXPECT_EQ(dark.card, 0xFF000000u);
    EXPECT_EQ(dark.cobalt, 0xFF1AEBFFu);
    EXPECT_EQ(dark.apricot, 0xFF1AEBFFu);
    EXPECT_EQ(dark.muted, 0xFF3FF23Fu);
    EXPECT_EQ(dark.cobaltTint, 0xFF202020u);
    EXPECT_EQ(colourRef(dark.cobalt), RGB(0x1A, 0xEB, 0xFF));
    // The tints of their own follow as well: no light band, canvas or status line on black.
    for (const std::uint32_t background : {dark.headerStart, dark.headerEnd, dark.statusBackground, dark.boardCanvas})
        EXPECT_EQ(background, 0xFF000000u);
    EXPECT_EQ(dark.statusErrorBackground, 0xFF1AEBFFu);
    EXPECT_EQ(dark.statusErrorText, 0xFF000000u);
    EXPECT_EQ(dark.selectedRowBorder, 0xFF1AEBFFu);
    EXPECT_EQ(dark.questionLink, 0xFF1AEBFFu);
    EXPECT_EQ(dark.gridDot, 0xFF3FF23Fu);
    EXPECT_EQ(dark.routeLine, 0xFF3FF23Fu);
    EXPECT_EQ(dark.buttonPressed, 0xFF202020u);
    const Palette usual;
    EXPECT_EQ(usual.statusBackground, 0xFFECEFE8u);
    EXPECT_EQ(usual.boardCanvas, 0xFFF2F2EBu);
    EXPECT_EQ(usual.headerEnd, 0xFFFEEEDEu);

    HIGHCONTRASTW setting{};
    setting.cbSize = sizeof(setting);
    SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(setting), &setting, 0);
    if (!(setting.dwFlags & HCF_HIGHCONTRASTON)) {
        EXPECT_EQ(currentPalette(), Palette{}) << "with high contrast off every colour is as it always was";
    }
}
