// The Evidence atlas through the real program: preview under the veil while a plate decodes, the
// fitted plate, switching plates mid-decode, releasing on leave, and the failed-decode state.
#include "ui_driver.h"

#include "locale/locale.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

using namespace std::chrono_literals;
using ui::Program;

namespace {

constexpr int SECTION_DISCOVER = 100, SECTION_ATLAS = 102;
constexpr int PLATE_0 = 140, PLATE_1 = 141, FIT_IMAGE = 142, ACTUAL_PIXELS = 143, RETRY_IMAGE = 146;
// A full plate takes seconds to decode under Wine; generous, since CI machines are shared.
constexpr auto DECODE_TIMEOUT = 120s;

std::wstring english(UiStringKey key)
{
    return uiTextIn(key, UiLanguage::English);
}

double number(const ui::State& state, const std::string& name)
{
    return std::strtod(state[name].c_str(), nullptr);
}

class EvidenceAtlas : public testing::Test {
protected:
    void SetUp() override { ui::resetDataFolder(); }

    Program start(const std::wstring& arguments = L"--ui-test")
    {
        Program program = ui::launch(arguments);
        EXPECT_NE(program.window, nullptr) << "no main window appeared";
        if (program.window)
            ui::resizeClient(program, 1280, 820);  // the view is then 1032 x 442 dip
        return program;
    }


    static bool waitForDecodeEnd(const Program& program)
    {
        return ui::waitUntil([&] { return ui::queryState(program)["plateDecodeRunning"] == "0"; }, DECODE_TIMEOUT);
    }
};

}  // namespace

TEST_F(EvidenceAtlas, ShowsPreviewUnderVeilThenTheFittedPlateAndDecodesAgainAfterLeaving)
{
    Program program = start();
    ASSERT_NE(program.window, nullptr);
    ASSERT_DOUBLE_EQ(number(ui::queryState(program), "clientWidthDip"), 1280.0);

    ui::click(program, SECTION_ATLAS);
    ui::State state = ui::queryState(program);
    EXPECT_EQ(state["plateDecodeRunning"], "1");
    EXPECT_EQ(state["loadedPlate"], "-1");
    EXPECT_EQ(state.wide("statusText"), english(UiStringKey::DecodingImage));
    EXPECT_FALSE(ui::isShown(program, RETRY_IMAGE));
    ui::saveScreenshot(program, L"atlas-plate0-decoding");

    ASSERT_TRUE(waitForDecodeEnd(program));
    state = ui::queryState(program);
    EXPECT_EQ(state["loadedPlate"], "0");
    EXPECT_EQ(state.wide("statusText"), english(UiStringKey::Ready));
    EXPECT_EQ(state["statusIsError"], "0");
    // Height-limited fit: 442 / 8441, the 763.2-dip-wide plate centred in 1032 dip.
    EXPECT_NEAR(number(state, "atlasZoom"), 442.0 / 8441.0, 1e-9);
    EXPECT_NEAR(number(state, "atlasPanX"), (1032.0 - 14575.0 * 442.0 / 8441.0) / 2.0, 1e-6);
    EXPECT_NEAR(number(state, "atlasPanY"), 0.0, 1e-6);
    EXPECT_FALSE(ui::isShown(program, RETRY_IMAGE));
    ui::saveScreenshot(program, L"atlas-plate0-fitted");

    // A drag inside the view pans by exactly the pointer movement.
    const double panX = number(state, "atlasPanX"), panY = number(state, "atlasPanY");
    ui::mouseDown(program, 600, 400);
    ui::mouseMove(program, 640, 370);
    ui::mouseMove(program, 650, 380);
    ui::mouseUp(program, 650, 380);
    state = ui::queryState(program);
    EXPECT_NEAR(number(state, "atlasPanX"), panX + 50.0, 1e-6);
    EXPECT_NEAR(number(state, "atlasPanY"), panY - 20.0, 1e-6);

    ui::click(program, FIT_IMAGE);
    ui::click(program, ACTUAL_PIXELS);
    state = ui::queryState(program);
    EXPECT_DOUBLE_EQ(number(state, "atlasZoom"), 1.0);
    ui::saveScreenshot(program, L"atlas-plate0-actual-pixels");

    ui::click(program, SECTION_DISCOVER);
    state = ui::queryState(program);
    EXPECT_EQ(state["loadedPlate"], "-1");
    ui::click(program, SECTION_ATLAS);
    EXPECT_EQ(ui::queryState(program)["plateDecodeRunning"], "1");
    ASSERT_TRUE(waitForDecodeEnd(program));
    EXPECT_EQ(ui::queryState(program)["loadedPlate"], "0");
}

TEST_F(EvidenceAtlas, SwitchingPlatesDuringADecodeDiscardsTheLateResultAndDecodesTheNewPlate)
{
    Program program = start();
    ASSERT_NE(program.window, nullptr);
    ui::click(program, SECTION_ATLAS);
    ui::click(program, PLATE_1);
    ui::State state = ui::queryState(program);
    ASSERT_EQ(state["plateDecodeRunning"], "1") << "plate 0 should still be decoding";
    EXPECT_EQ(state["requestedPlate"], "1");
    ui::saveScreenshot(program, L"atlas-plate1-requested-while-plate0-decodes");

    // The plate 0 result must not be shown; the decode of plate 1 follows it.
    ASSERT_TRUE(ui::waitUntil(
        [&] {
            const ui::State s = ui::queryState(program);
            return s["loadedPlate"] == "1" || (s["plateDecodeRunning"] == "0" && s["loadedPlate"] != "-1");
        },
        2 * DECODE_TIMEOUT));
    state = ui::queryState(program);
    EXPECT_EQ(state["loadedPlate"], "1");
    EXPECT_EQ(state["plateDecodeRunning"], "0");
    EXPECT_EQ(state.wide("statusText"), english(UiStringKey::Ready));
    // Width-limited fit of 11,264 x 3,904 in 1032 x 442.
    EXPECT_NEAR(number(state, "atlasZoom"), 1032.0 / 11264.0, 1e-9);
    EXPECT_NEAR(number(state, "atlasPanX"), 0.0, 1e-6);
    EXPECT_NEAR(number(state, "atlasPanY"), (442.0 - 3904.0 * 1032.0 / 11264.0) / 2.0, 1e-6);
    ui::saveScreenshot(program, L"atlas-plate1-fitted");

    ui::click(program, ACTUAL_PIXELS);
    EXPECT_DOUBLE_EQ(number(ui::queryState(program), "atlasZoom"), 1.0);
    ui::saveScreenshot(program, L"atlas-plate1-actual-pixels");

    // Choosing the loaded plate again starts nothing.
    ui::click(program, PLATE_1);
    EXPECT_EQ(ui::queryState(program)["plateDecodeRunning"], "0");
}

TEST_F(EvidenceAtlas, AFailedDecodeShowsTheMessageAndRetryImageInsteadOfCrashing)
{
    Program program = start(L"--ui-test --ui-test-fail-decode");
    ASSERT_NE(program.window, nullptr);
    ui::click(program, SECTION_ATLAS);
    ASSERT_TRUE(waitForDecodeEnd(program));
    ui::State state = ui::queryState(program);
    EXPECT_EQ(state["loadedPlate"], "-1");
    EXPECT_EQ(state.wide("statusText"), english(UiStringKey::ImageNotDecoded));
    EXPECT_EQ(state.wide("statusText"), L"Image could not be decoded. Close other applications and retry.");
    EXPECT_EQ(state["statusIsError"], "1");
    ASSERT_TRUE(ui::isShown(program, RETRY_IMAGE));
    EXPECT_EQ(ui::text(ui::control(program, RETRY_IMAGE)), L"Retry image");
    ui::saveScreenshot(program, L"atlas-decode-failed");

    // Zoom and pan do nothing without a plate.
    const std::string zoom = state["atlasZoom"];
    ui::click(program, ACTUAL_PIXELS);
    EXPECT_EQ(ui::queryState(program)["atlasZoom"], zoom);

    ui::click(program, RETRY_IMAGE);
    EXPECT_EQ(ui::queryState(program)["plateDecodeRunning"], "1");
    EXPECT_FALSE(ui::isShown(program, RETRY_IMAGE));
    ASSERT_TRUE(waitForDecodeEnd(program));
    EXPECT_EQ(ui::queryState(program).wide("statusText"), english(UiStringKey::ImageNotDecoded));
    EXPECT_TRUE(ui::isShown(program, RETRY_IMAGE));
    ui::click(program, PLATE_0);  // the same plate, not loaded: a new attempt, failing the same way
    ASSERT_TRUE(waitForDecodeEnd(program));
    EXPECT_TRUE(ui::isShown(program, RETRY_IMAGE));
}
