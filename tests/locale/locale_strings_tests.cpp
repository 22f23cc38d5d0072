// Tests of the interface string table: completeness, the text policy, exact texts where spacing or
// punctuation is easy to get wrong, and rows that would shift if an entry went missing.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <string_view>

#include "locale/locale.h"
#include "model/model.h"

namespace {

constexpr UiLanguage LANGUAGES[] = {UiLanguage::English, UiLanguage::Spanish, UiLanguage::German};

std::wstring describe(int entry)
{
    return L"key " + std::to_wstring(entry / 3) + L" language " + std::to_wstring(entry % 3);
}

TEST(StringTable, EveryEntryIsNonEmptyAndPassesThePolicy)
{
    ASSERT_EQ(std::size(UI_STRINGS), 312u);
    for (int entry = 0; entry < std::ssize(UI_STRINGS); ++entry) {
        SCOPED_TRACE(testing::PrintToString(describe(entry)));
        ASSERT_NE(UI_STRINGS[entry], nullptr);
        EXPECT_GT(std::wcslen(UI_STRINGS[entry]), 0u);
        EXPECT_TRUE(isSupportedWideText(UI_STRINGS[entry]));
    }
}

TEST(StringTable, NoStrayWhitespaceOutsideTheRowsThatNeedIt)
{
    // Only rows 54 and 55 end in a space (a count follows); only 28, 29 and 90 hold two spaces.
    for (int entry = 0; entry < std::ssize(UI_STRINGS); ++entry) {
        SCOPED_TRACE(testing::PrintToString(describe(entry)));
        const std::wstring_view text = UI_STRINGS[entry];
        const int key = entry / 3;
        ASSERT_FALSE(text.empty());
        EXPECT_NE(text.front(), L' ');
        EXPECT_EQ(text.back() == L' ', key == 54 || key == 55);
        if (key == 54 || key == 55) {
            EXPECT_NE(text[text.size() - 2], L' ');
        }
        EXPECT_EQ(text.find(L"  ") != std::wstring_view::npos, key == 28 || key == 29 || key == 90);
        for (wchar_t c : text) {
            EXPECT_GE(c, 0x20) << "control character";
            EXPECT_NE(c, L'\u00a0') << "no-break space";
        }
    }
}

TEST(StringTable, UiTextInReadsEntryThreeTimesKeyPlusLanguage)
{
    for (int key = 0; key < UI_STRING_COUNT; ++key)
        for (UiLanguage language : LANGUAGES)
            EXPECT_EQ(uiTextIn(static_cast<UiStringKey>(key), language),
                      UI_STRINGS[3 * key + static_cast<int>(language)]);
}

TEST(StringTable, StrayKeyOrLanguageStaysInsideTheTable)
{
    EXPECT_STREQ(uiTextIn(static_cast<UiStringKey>(UI_STRING_COUNT), UiLanguage::English), L"");
    EXPECT_STREQ(uiTextIn(static_cast<UiStringKey>(-1), UiLanguage::German), L"");
    EXPECT_STREQ(uiTextIn(UiStringKey::Ready, static_cast<UiLanguage>(3)), L"Ready");
    EXPECT_STREQ(uiTextIn(UiStringKey::Ready, static_cast<UiLanguage>(-1)), L"Ready");
}

struct ExactCase {
    UiStringKey key;
    const wchar_t* english;
    const wchar_t* spanish;
    const wchar_t* german;
};

class ExactText : public testing::TestWithParam<ExactCase> {};

TEST_P(ExactText, MatchesInAllThreeLanguages)
{
    const ExactCase& c = GetParam();
    EXPECT_STREQ(uiTextIn(c.key, UiLanguage::English), c.english);
    EXPECT_STREQ(uiTextIn(c.key, UiLanguage::Spanish), c.spanish);
    EXPECT_STREQ(uiTextIn(c.key, UiLanguage::German), c.german);
}

// Non-ASCII letters are written as escapes here so that a mis-encoded source file shows up.
INSTANTIATE_TEST_SUITE_P(Rows, ExactText, testing::Values(
    // First, middle and last rows: an entry lost or duplicated shifts every row after it.
    ExactCase{UiStringKey::SectionDiscover, L"Discover", L"Descubrir", L"Entdecken"},
    ExactCase{UiStringKey::ReadSource, L"Read source \u2197", L"Leer fuente \u2197", L"Quelle lesen \u2197"},
    ExactCase{UiStringKey::YourObservation, L"YOUR OBSERVATION", L"TU OBSERVACI\u00d3N", L"DEINE BEOBACHTUNG"},
    ExactCase{UiStringKey::NoteCue, L"What surprised you? What would you investigate next?",
              L"\u00bfQu\u00e9 te sorprendi\u00f3? \u00bfQu\u00e9 investigar\u00edas despu\u00e9s?",
              L"Was hat dich \u00fcberrascht? Was m\u00f6chtest du weiter erforschen?"},
    ExactCase{UiStringKey::ClearLinks, L"Clear links", L"Quitar enlaces", L"Verkn\u00fcpfungen l\u00f6sen"},
    ExactCase{UiStringKey::Plate0Button, L"01  Cosmic Cliffs", L"01  Acantilados c\u00f3smicos",
              L"01  Kosmische Klippen"},
    ExactCase{UiStringKey::Plate1Button, L"02  NIRCam + MIRI panorama", L"02  Panorama NIRCam + MIRI",
              L"02  NIRCam + MIRI Panorama"},
    ExactCase{UiStringKey::ZoomIn, L"Zoom in", L"Ampliar", L"Vergr\u00f6\u00dfern"},
    ExactCase{UiStringKey::PrivacyTitle, L"LOCAL STORIES. CLEAR INTENT.", L"ACTIVIDAD TRANSPARENTE.",
              L"KLARE FUNKTION. TRANSPARENTER BETRIEB."},
    ExactCase{UiStringKey::SourcesTitle, L"VERIFIABLE SOURCES", L"FUENTES VERIFICABLES",
              L"NACHPR\u00dcFBARE QUELLEN"},
    ExactCase{UiStringKey::SourcesText,
              L"HTTPS GET only: www.nasa.gov/news-release/feed/ and www.noaa.gov/rss.xml. No API key. "
              L"Redirects and cookies are disabled; Windows verifies TLS certificates. Read source opens "
              L"the official HTTPS page in your browser. NASA / ESA / CSA / STScI image credit does not "
              L"imply endorsement.",
              L"Solo HTTPS GET: www.nasa.gov/news-release/feed/ y www.noaa.gov/rss.xml. Sin clave API. "
              L"Redirecciones y cookies desactivadas; Windows verifica certificados TLS. Leer fuente abre "
              L"la p\u00e1gina oficial en el navegador. El cr\u00e9dito NASA / ESA / CSA / STScI no "
              L"implica respaldo.",
              L"Nur HTTPS GET: www.nasa.gov/news-release/feed/ und www.noaa.gov/rss.xml. Kein "
              L"API-Schl\u00fcssel. Weiterleitungen und Cookies sind deaktiviert; Windows pr\u00fcft "
              L"TLS-Zertifikate. Quelle lesen \u00f6ffnet die offizielle Seite im Browser. Bildnachweis "
              L"NASA / ESA / CSA / STScI bedeutet keine Unterst\u00fctzung dieser App."},
    ExactCase{UiStringKey::Ready, L"Ready", L"Listo", L"Bereit"},
    ExactCase{UiStringKey::BothSourcesChecked, L"Both sources checked. New stories: ",
              L"Fuentes consultadas. Historias nuevas: ", L"Beide Quellen gepr\u00fcft. Neue Berichte: "},
    ExactCase{UiStringKey::OneSourceUnavailable,
              L"One source unavailable; available stories were retained. New stories: ",
              L"Una fuente no disponible; se conservaron las historias. Nuevas: ",
              L"Eine Quelle nicht verf\u00fcgbar; vorhandene Berichte bleiben erhalten. Neu: "},
    ExactCase{UiStringKey::Close, L"Close", L"Cerrar", L"Schlie\u00dfen"},
    ExactCase{UiStringKey::LastSuccessfulCheck, L"Last successful check", L"\u00daltima consulta correcta",
              L"Letzte erfolgreiche Pr\u00fcfung"},
    ExactCase{UiStringKey::On, L"On", L"S\u00ed", L"Ein"},
    ExactCase{UiStringKey::AtlasCaption,
              L"Explore the gas ridges at full resolution, then compare the two plates. These are "
              L"wavelength-mapped science images, not natural-color photographs.",
              L"Explora las crestas de gas a resoluci\u00f3n completa y compara las dos im\u00e1genes. Los "
              L"colores representan longitudes de onda; no son fotograf\u00edas de color natural.",
              L"Gasstrukturen in voller Aufl\u00f6sung erkunden und die beiden Bilder vergleichen. Die "
              L"Farben stellen Wellenl\u00e4ngen dar; dies sind keine Fotos in nat\u00fcrlichen Farben."},
    ExactCase{UiStringKey::ShortcutMap,
              L"Ctrl+1/2/3/4: sections  \u00b7  Ctrl+S: save note  \u00b7  Ctrl+F: search  \u00b7  "
              L"F5: refresh  \u00b7  Esc: cancel link / tray",
              L"Ctrl+1/2/3/4: secciones  \u00b7  Ctrl+S: guardar  \u00b7  Ctrl+F: buscar  \u00b7  "
              L"F5: actualizar  \u00b7  Esc: cancelar / bandeja",
              L"Strg+1/2/3/4: Bereiche  \u00b7  Strg+S: speichern  \u00b7  Strg+F: suchen  \u00b7  "
              L"F5: aktualisieren  \u00b7  Esc: abbrechen / Infobereich"},
    ExactCase{UiStringKey::RestoreConfirm,
              L"Restore the previous library? The current library will become the backup. Select Restore "
              L"again to confirm.",
              L"\u00bfRestaurar la biblioteca anterior? La actual pasar\u00e1 a ser copia. Pulsa Restaurar "
              L"otra vez para confirmar.",
              L"Vorherige Bibliothek laden? Die aktuelle wird zur Sicherung. Zum Best\u00e4tigen erneut "
              L"Wiederherstellen w\u00e4hlen."},
    ExactCase{UiStringKey::RetryImage, L"Retry image", L"Reintentar imagen", L"Bild erneut laden"},
    // The atlas texts of the published plates, and the rows that replace them for drawn stand-ins.
    ExactCase{UiStringKey::HintAtlas,
              L"Original NASA plates. Scroll to zoom; drag to explore. Available offline.",
              L"Im\u00e1genes originales de NASA. Rueda: zoom. Arrastra para explorar. Sin conexi\u00f3n.",
              L"NASA-Originalbilder. Mausrad: Zoom. Ziehen: Bewegen. Auch offline."},
    ExactCase{UiStringKey::ImageCredit, L"Image credit: NASA, ESA, CSA, STScI", L"Cr\u00e9dito: NASA, ESA, CSA, STScI",
              L"Bildnachweis: NASA, ESA, CSA, STScI"},
    ExactCase{UiStringKey::HintAtlasStandIn,
              L"Generated stand-in plates of the published images. Scroll to zoom; drag to explore. Available "
              L"offline.",
              L"Recreaciones generadas de las im\u00e1genes publicadas. Rueda: zoom. Arrastra para explorar. "
              L"Sin conexi\u00f3n.",
              L"Generierte Platzhalter der ver\u00f6ffentlichten Bilder. Mausrad: Zoom. Ziehen: Bewegen. Auch "
              L"offline."},
    ExactCase{UiStringKey::ImageCreditStandIn0, L"Generated stand-in of Cosmic Cliffs",
              L"Recreaci\u00f3n generada de Acantilados c\u00f3smicos",
              L"Generierter Platzhalter f\u00fcr Kosmische Klippen"},
    ExactCase{UiStringKey::ImageCreditStandIn1, L"Generated stand-in of the NIRCam + MIRI panorama",
              L"Recreaci\u00f3n generada del panorama NIRCam + MIRI",
              L"Generierter Platzhalter f\u00fcr das Panorama NIRCam + MIRI"},
    ExactCase{UiStringKey::PinnedState, L"Pinned", L"Fijada", L"Angeheftet"}));

struct ParagraphCase {
    UiStringKey key;
    UiLanguage language;
    const wchar_t* begins;
    const wchar_t* ends;
};

class Paragraph : public testing::TestWithParam<ParagraphCase> {};

TEST_P(Paragraph, HasItsOwnLanguageOpeningAndClosing)
{
    const std::wstring_view text = uiTextIn(GetParam().key, GetParam().language);
    const std::wstring_view begins = GetParam().begins, ends = GetParam().ends;
    EXPECT_TRUE(text.starts_with(begins)) << testing::PrintToString(std::wstring(text));
    EXPECT_TRUE(text.ends_with(ends)) << testing::PrintToString(std::wstring(text));
}

INSTANTIATE_TEST_SUITE_P(Paragraphs, Paragraph, testing::Values(
    ParagraphCase{UiStringKey::PrivacyText, UiLanguage::English, L"No account, telemetry, advertising",
                  L"Manual refresh contacts the sources immediately."},
    ParagraphCase{UiStringKey::PrivacyText, UiLanguage::Spanish, L"Sin cuenta, telemetr\u00eda, anuncios",
                  L"Actualizar consulta las fuentes al instante."},
    ParagraphCase{UiStringKey::PrivacyText, UiLanguage::German, L"Kein Konto, keine Telemetrie",
                  L"Aktualisieren fragt die Quellen sofort ab."},
    ParagraphCase{UiStringKey::LanguageText, UiLanguage::English, L"English, Spanish and German follow",
                  L"Source stories remain in English."},
    ParagraphCase{UiStringKey::LanguageText, UiLanguage::Spanish, L"Ingl\u00e9s, espa\u00f1ol y alem\u00e1n",
                  L"Las fuentes permanecen en ingl\u00e9s."},
    ParagraphCase{UiStringKey::LanguageText, UiLanguage::German, L"Englisch, Spanisch und Deutsch",
                  L"Quellberichte bleiben auf Englisch."},
    ParagraphCase{UiStringKey::DataText, UiLanguage::English, L"Stories, notes and connections are saved",
                  L"to the same app-data folder on the other computer."},
    ParagraphCase{UiStringKey::DataText, UiLanguage::Spanish, L"Historias, notas y conexiones se guardan",
                  L"copia library.json a la misma carpeta del otro equipo."},
    ParagraphCase{UiStringKey::DataText, UiLanguage::German, L"Berichte, Notizen und Verbindungen liegen",
                  L"Die Daten sind unverschl\u00fcsselt. Zum Umzug Kestrune beenden und library.json in "
                  L"denselben App-Datenordner des anderen Computers kopieren."}));

}  // namespace
