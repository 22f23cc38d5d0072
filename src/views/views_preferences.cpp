// The Preferences view: the four information panels with the language line and the time of the
// last check, or the one panel behind the licences text; the switches and actions are controls.
#include "views/views.h"

#include "locale/locale.h"

namespace {

constexpr float PANEL_RADIUS = 11.0f;
constexpr float TITLE_SIZE = 11.0f;

}  // namespace

PreferencesPanels preferencesPanels(float W, float H)
{
    const float C = (W - 272.0f) / 2.0f;
    const float left = 224.0f, right = C + 240.0f;
    const float textLeft = left + 22.0f, rightText = right + 22.0f, textWidth = C - 44.0f;
    PreferencesPanels p;
    p.column = C;
    p.upperLeft = {left, 153.0f, C, 235.0f};
    p.upperRight = {right, 153.0f, C, 235.0f};
    p.lowerLeft = {left, 404.0f, C, H - 535.0f};
    p.lowerRight = {right, 404.0f, C, H - 535.0f};
    p.privacyTitle = {textLeft, 172.0f, textWidth, 22.0f};
    p.privacyText = {textLeft, 204.0f, textWidth, 78.0f};
    p.languageTitle = {rightText, 172.0f, textWidth, 22.0f};
    p.languageText = {rightText, 204.0f, textWidth, 126.0f};
    p.languageLine = {rightText, 345.0f, textWidth, 23.0f};
    p.dataTitle = {textLeft, 424.0f, textWidth, 24.0f};
    p.dataText = {textLeft, 458.0f, textWidth, H - 602.0f};
    p.sourcesTitle = {rightText, 424.0f, textWidth, 24.0f};
    p.sourcesText = {rightText, 458.0f, textWidth, H - 628.0f};
    p.lastCheckLabel = {rightText, H - 194.0f, textWidth, 20.0f};
    p.lastCheckValue = {rightText, H - 172.0f, textWidth, 22.0f};
    return p;
}

DipRect licencesPanelRect(float W, float H)
{
    return {224.0f, 153.0f, W - 248.0f, H - 300.0f};
}

std::wstring languageLine(std::wstring_view languageName, std::wstring_view utcOffset)
{
    std::wstring line = L"Windows \u2192 ";
    line.append(languageName);
    line.append(L"   /   ");
    line.append(utcOffset);
    return line;
}

std::wstring lastCheckText(std::int64_t lastCheck)
{
    return lastCheck == 0 ? std::wstring(UiText(UiStringKey::NotYetChecked)) : formatLocalDateTime(lastCheck, true);
}

void paintPreferences(Canvas& canvas, ViewState& app, const Library& library)
{
    const Palette& palette = app.palette;
    const float W = app.clientWidthDip, H = app.clientHeightDip;
    // The licences text box and its button are controls laid over this one panel.
    if (app.licencesShown) {
        fillRoundedRect(canvas, licencesPanelRect(W, H), PANEL_RADIUS, palette.card, palette.line);
        return;
    }

    const PreferencesPanels p = preferencesPanels(W, H);
    for (const DipRect& panel : {p.upperLeft, p.upperRight, p.lowerLeft, p.lowerRight})
        fillRoundedRect(canvas, panel, PANEL_RADIUS, palette.card, palette.line);

    const TextStyle title{.size = TITLE_SIZE, .colour = palette.cobalt, .bold = true};
    const TextStyle paragraph{.size = 14.0f, .colour = palette.ink};
    const auto text = [&](UiStringKey key, const DipRect& rect, const TextStyle& style) {
        drawText(canvas, std::wstring_view(UiText(key)), rect, style);
    };
    const auto label = [&](UiStringKey key, const DipRect& rect, const TextStyle& style) {
        drawLabel(canvas, UiText(key), rect, style);
    };

    label(UiStringKey::PrivacyTitle, p.privacyTitle, title);
    text(UiStringKey::PrivacyText, p.privacyText, {.size = 13.0f, .colour = palette.ink});

    label(UiStringKey::LanguageTitle, p.languageTitle, title);
    text(UiStringKey::LanguageText, p.languageText, paragraph);
    drawLabel(canvas, languageLine(uiLanguageName(), formatUtcOffset()), p.languageLine,
              {.size = 13.0f, .colour = palette.cobalt, .bold = true});

    label(UiStringKey::DataTitle, p.dataTitle, title);
    text(UiStringKey::DataText, p.dataText, paragraph);

    label(UiStringKey::SourcesTitle, p.sourcesTitle, title);
    text(UiStringKey::SourcesText, p.sourcesText, paragraph);
    label(UiStringKey::LastSuccessfulCheck, p.lastCheckLabel, {.size = 11.0f, .colour = palette.muted});
    drawLabel(canvas, lastCheckText(library.settings.lastCheck), p.lastCheckValue,
              {.size = 13.0f, .colour = palette.cobalt});
}
