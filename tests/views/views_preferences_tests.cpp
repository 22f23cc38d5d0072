// The Preferences view: panel geometry worked out by hand at the minimum and the default window
// size, the composed language and last-check texts, and real pixels of both page states.
#include "views/views.h"

#include "locale/locale.h"

#include "views_test_pixels.h"

#include <gtest/gtest.h>

#include <gdiplus.h>

#include <algorithm>
#include <cstdint>

namespace {

constexpr std::uint32_t WHITE = 0xFFFFFF;
constexpr std::uint32_t CARD = 0xFFFFFC;  // the card colour without alpha

class PreferencesPainting : public GdiplusSuite {
protected:
    void SetUp() override { currentUiLanguage = UiLanguage::English; }
    void TearDown() override { app.drawingKit.reset(); }

    void paint(PixelBuffer& pixels)
    {
        app.clientWidthDip = static_cast<float>(pixels.width);
        app.clientHeightDip = static_cast<float>(pixels.height);
        Canvas canvas;
        ASSERT_TRUE(beginCanvas(canvas, pixels.dc, 1.0f, drawingKitOf(app)));
        paintPreferences(canvas, app, library);
        status = canvas.status;
        endCanvas(canvas);
    }

    ViewState app;
    Library library = buildSeedLibrary();
    int status = 0;
};

}  // namespace

TEST(PreferencesGeometry, MinimumWidthGivesColumnsOf419AndTextsOf375)
{
    const PreferencesPanels p = preferencesPanels(1110, 790);
    EXPECT_FLOAT_EQ(p.column, 419);
    EXPECT_EQ(p.upperLeft, (DipRect{224, 153, 419, 235}));
    EXPECT_EQ(p.upperRight, (DipRect{659, 153, 419, 235}));
    EXPECT_EQ(p.lowerLeft, (DipRect{224, 404, 419, 255}));
    EXPECT_EQ(p.lowerRight, (DipRect{659, 404, 419, 255}));
    EXPECT_EQ(p.privacyTitle, (DipRect{246, 172, 375, 22}));
    EXPECT_EQ(p.privacyText, (DipRect{246, 204, 375, 78}));
    EXPECT_EQ(p.languageTitle, (DipRect{681, 172, 375, 22}));
    EXPECT_EQ(p.languageText, (DipRect{681, 204, 375, 126}));
    EXPECT_EQ(p.languageLine, (DipRect{681, 345, 375, 23}));
    EXPECT_EQ(p.dataTitle, (DipRect{246, 424, 375, 24}));
    EXPECT_EQ(p.dataText, (DipRect{246, 458, 375, 188}));
    EXPECT_EQ(p.sourcesTitle, (DipRect{681, 424, 375, 24}));
    EXPECT_EQ(p.sourcesText, (DipRect{681, 458, 375, 162}));
    EXPECT_EQ(p.lastCheckLabel, (DipRect{681, 596, 375, 20}));
    EXPECT_EQ(p.lastCheckValue, (DipRect{681, 618, 375, 22}));
}

TEST(PreferencesGeometry, DefaultWindowWidensBothColumnsAlike)
{
    const PreferencesPanels p = preferencesPanels(1280, 820);
    EXPECT_FLOAT_EQ(p.column, 504);
    EXPECT_EQ(p.upperRight, (DipRect{744, 153, 504, 235}));
    EXPECT_EQ(p.lowerLeft, (DipRect{224, 404, 504, 285}));
    EXPECT_EQ(p.sourcesText, (DipRect{766, 458, 460, 192}));
    EXPECT_EQ(p.lastCheckValue, (DipRect{766, 648, 460, 22}));
}

TEST(PreferencesGeometry, LicencesPanelFillsTheContentArea)
{
    EXPECT_EQ(licencesPanelRect(1280, 820), (DipRect{224, 153, 1032, 520}));
    EXPECT_EQ(licencesPanelRect(1110, 790), (DipRect{224, 153, 862, 490}));
}

TEST(PreferencesTexts, LanguageLineHasTheArrowAndThreeSpacesAroundTheSlash)
{
    EXPECT_EQ(languageLine(L"Deutsch", L"UTC+02:00"), L"Windows \u2192 Deutsch   /   UTC+02:00");
    EXPECT_EQ(languageLine(L"Espa\u00F1ol", L"UTC-05:30"), L"Windows \u2192 Espa\u00F1ol   /   UTC-05:30");
}

TEST(PreferencesTexts, NeverCheckedLibraryShowsNotYetCheckedInTheInterfaceLanguage)
{
    currentUiLanguage = UiLanguage::English;
    EXPECT_EQ(lastCheckText(0), L"Not yet checked");
    currentUiLanguage = UiLanguage::German;
    EXPECT_EQ(lastCheckText(0), L"Noch nicht gepr\u00FCft");
    currentUiLanguage = UiLanguage::English;
}

TEST(PreferencesTexts, CheckedLibraryShowsADateAndTimeNotTheNeverText)
{
    currentUiLanguage = UiLanguage::English;
    const std::wstring text = lastCheckText(1700000000);  // 2023-11-14 22:13 UTC
    EXPECT_NE(text, L"Not yet checked");
    EXPECT_NE(text.find(L"23"), std::wstring::npos) << "the year of the check belongs to the date";
}

TEST_F(PreferencesPainting, PanelsPageLeavesTheGapsBetweenPanelsUnpainted)
{
    PixelBuffer pixels(1110, 790);
    paint(pixels);
    EXPECT_EQ(pixels.at(230, 380), CARD) << "inside the upper left panel";
    EXPECT_EQ(pixels.at(1070, 650), CARD) << "inside the lower right panel";
    EXPECT_EQ(pixels.at(651, 250), WHITE) << "the 16-dip gap between the columns";
    EXPECT_EQ(pixels.at(300, 396), WHITE) << "the gap between the rows";
}

TEST_F(PreferencesPainting, LicencesPageIsOnePanelWithoutTheFourTexts)
{
    app.licencesShown = true;
    PixelBuffer pixels(1110, 790);
    paint(pixels);
    EXPECT_EQ(pixels.at(651, 250), CARD) << "one panel spans both columns";
    EXPECT_EQ(pixels.at(300, 396), CARD) << "and both rows";
    EXPECT_EQ(pixels.at(1100, 250), WHITE) << "right of the panel";
    EXPECT_EQ(pixels.inkIn(246, 172, 1056, 640), 0) << "no panel title or paragraph is painted";
}

TEST_F(PreferencesPainting, AtTheMinimumWidthPanelTextsWrapInsideTheirColumns)
{
    PixelBuffer pixels(1110, 790);
    paint(pixels);
    if (status != 0)
        GTEST_SKIP() << "fonts are not available to GDI+ here (status " << status << ")";
    EXPECT_GT(pixels.inkIn(246, 172, 621, 282), 200) << "the privacy title and paragraph are painted";
    EXPECT_GT(pixels.inkIn(246, 458, 621, 646), 200) << "the data paragraph is painted";
    EXPECT_GT(pixels.inkIn(681, 458, 1056, 620), 200) << "the sources paragraph is painted";
    // Between the end of each 375-dip text column and the panel's right edge nothing is drawn.
    EXPECT_EQ(pixels.inkIn(622, 160, 642, 780), 0) << "left column text runs past 375 dip";
    EXPECT_EQ(pixels.inkIn(1057, 160, 1077, 780), 0) << "right column text runs past 375 dip";
}
