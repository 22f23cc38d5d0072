// Tests of the interface language: tag mapping, first-preference detection and the texts that
// the current language chooses outside the string table.
#include <gtest/gtest.h>

#include <string>

#include "locale/locale.h"
#include "locale/locale_internal.h"

namespace {

// Sets currentUiLanguage for one test and puts the previous value back.
struct LanguageScope {
    UiLanguage saved = currentUiLanguage;
    explicit LanguageScope(UiLanguage language) { currentUiLanguage = language; }
    ~LanguageScope() { currentUiLanguage = saved; }
    LanguageScope(const LanguageScope&) = delete;
    LanguageScope& operator=(const LanguageScope&) = delete;
};

struct TagCase {
    const wchar_t* tag;
    UiLanguage expected;
};

class TagMapping : public testing::TestWithParam<TagCase> {};

TEST_P(TagMapping, MapsWholePrimarySubtagIgnoringCase)
{
    EXPECT_EQ(uiLanguageFromTag(GetParam().tag), GetParam().expected) << "tag: " << testing::PrintToString(std::wstring(GetParam().tag));
}

INSTANTIATE_TEST_SUITE_P(Tags, TagMapping, testing::Values(
    TagCase{L"en-US", UiLanguage::English},
    TagCase{L"es-MX", UiLanguage::Spanish},
    TagCase{L"de-AT", UiLanguage::German},
    TagCase{L"ru-RU", UiLanguage::English},
    TagCase{L"uk-UA", UiLanguage::English},
    TagCase{L"ja-JP", UiLanguage::English},
    TagCase{L"ES-es", UiLanguage::Spanish},
    TagCase{L"DE-CH", UiLanguage::German},
    TagCase{L"es", UiLanguage::Spanish},
    TagCase{L"de", UiLanguage::German},
    TagCase{L"es-419", UiLanguage::Spanish},
    TagCase{L"de-", UiLanguage::German},
    TagCase{L"est", UiLanguage::English},
    TagCase{L"es_ES", UiLanguage::English},
    TagCase{L"deu", UiLanguage::English},
    TagCase{L"de_DE", UiLanguage::English},
    TagCase{L"e", UiLanguage::English},
    TagCase{L"-es", UiLanguage::English},
    TagCase{L" es", UiLanguage::English},
    TagCase{L"en-ES", UiLanguage::English},
    TagCase{L"fr-DE", UiLanguage::English},
    TagCase{L"", UiLanguage::English},
    // U+0130 (capital I with dot) and U+212A (Kelvin sign) fold to ASCII letters only under
    // Unicode rules; the C-locale folding must leave them alone.
    TagCase{L"\u0130t-IT", UiLanguage::English},
    TagCase{L"d\u0130", UiLanguage::English}));

TEST(PreferredList, OnlyFirstPreferenceCounts)
{
    // A second preference for Spanish must not rescue a first preference that is unsupported.
    EXPECT_EQ(uiLanguageFromPreferredList(L"fr-FR\0es-ES\0"), UiLanguage::English);
    EXPECT_EQ(uiLanguageFromPreferredList(L"de-DE\0es-ES\0"), UiLanguage::German);
    EXPECT_EQ(uiLanguageFromPreferredList(L"es-AR\0de-DE\0"), UiLanguage::Spanish);
}

TEST(PreferredList, EmptyOrMissingListIsEnglish)
{
    EXPECT_EQ(uiLanguageFromPreferredList(L""), UiLanguage::English);
    EXPECT_EQ(uiLanguageFromPreferredList(nullptr), UiLanguage::English);
}

TEST(Detection, YieldsOneOfTheThreeLanguages)
{
    const auto value = static_cast<int>(detectUiLanguage());
    EXPECT_GE(value, 0);
    EXPECT_LE(value, 2);
}

TEST(CurrentLanguage, StartsEnglishBeforeStartUpSetsIt)
{
    EXPECT_EQ(static_cast<int>(currentUiLanguage), 0);
}

TEST(CurrentLanguage, UiTextFollowsTheCurrentLanguage)
{
    {
        LanguageScope spanish(UiLanguage::Spanish);
        EXPECT_STREQ(UiText(UiStringKey::SectionDiscover), L"Descubrir");
        EXPECT_STREQ(UiText(UiStringKey::RetryImage), L"Reintentar imagen");
    }
    {
        LanguageScope german(UiLanguage::German);
        EXPECT_STREQ(UiText(UiStringKey::SectionDiscover), L"Entdecken");
        EXPECT_STREQ(UiText(UiStringKey::RetryImage), L"Bild erneut laden");
    }
    EXPECT_STREQ(UiText(UiStringKey::SectionDiscover), L"Discover");
}

struct OutsideTextCase {
    int language;
    const wchar_t* licencesTitle;
    const wchar_t* languageName;
};

class OutsideTexts : public testing::TestWithParam<OutsideTextCase> {};

TEST_P(OutsideTexts, ChooseByLanguageWithEnglishForUnknownValues)
{
    LanguageScope scope(static_cast<UiLanguage>(GetParam().language));
    EXPECT_STREQ(licencesTitle(), GetParam().licencesTitle);
    EXPECT_STREQ(uiLanguageName(), GetParam().languageName);
}

INSTANTIATE_TEST_SUITE_P(Languages, OutsideTexts, testing::Values(
    OutsideTextCase{0, L"Licenses & credits", L"English"},
    OutsideTextCase{1, L"Licencias y cr\u00e9ditos", L"Espa\u00f1ol"},
    OutsideTextCase{2, L"Lizenzen und Bildnachweise", L"Deutsch"},
    OutsideTextCase{3, L"Licenses & credits", L"English"},
    OutsideTextCase{-1, L"Licenses & credits", L"English"}));

}  // namespace
