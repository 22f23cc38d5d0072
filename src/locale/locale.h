// Localization and time: the interface language, the three-language string table, and local date,
// time and UTC-offset texts that follow the Windows regional settings.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// ---------------------------------------------------------------------------------------------
// Interface language

enum class UiLanguage : std::int32_t { English = 0, Spanish = 1, German = 2 };

// Written on the window thread only (start-up and the settings-change handler), read by all
// interface code. Workers never read it.
extern UiLanguage currentUiLanguage;

UiLanguage detectUiLanguage();
UiLanguage uiLanguageFromTag(std::wstring_view tag);

// ---------------------------------------------------------------------------------------------
// String table: 104 keys by 3 languages; the key number is the row, fixed for good.

enum class UiStringKey : std::int32_t {
    SectionDiscover = 0,
    SectionBoard = 1,
    SectionAtlas = 2,
    SectionPreferences = 3,
    Tagline = 4,
    TitleDiscover = 5,
    TitleBoard = 6,
    TitleAtlas = 7,
    TitlePreferences = 8,
    HintDiscover = 9,
    HintBoard = 10,
    HintAtlas = 11,
    RefreshSources = 12,
    ReceivingStories = 13,
    SearchCue = 14,
    SaveToBoard = 15,
    UnpinStory = 16,
    ReadSource = 17,
    YourObservation = 18,
    SaveNote = 19,
    NoteCue = 20,
    ConnectCards = 21,
    CancelConnection = 22,
    FitBoard = 23,
    LinkRelated = 24,
    LinkEvidence = 25,
    LinkQuestion = 26,
    ClearLinks = 27,
    Plate0Button = 28,
    Plate1Button = 29,
    FitImage = 30,
    ActualPixels = 31,
    ZoomIn = 32,
    ZoomOut = 33,
    CheckHourly = 34,
    NotifyNewStories = 35,
    ExportBoard = 36,
    OpenDataFolder = 37,
    QuitKestrune = 38,
    KeepInTray = 39,
    OpenKestrune = 40,
    PrivacyTitle = 41,
    PrivacyText = 42,
    LanguageTitle = 43,
    LanguageText = 44,
    DataTitle = 45,
    DataText = 46,
    SourcesTitle = 47,
    SourcesText = 48,
    OfflineCollectionReady = 49,
    Ready = 50,
    SavedLocally = 51,
    SaveFailed = 52,
    TextNotSupported = 53,
    BothSourcesChecked = 54,
    OneSourceUnavailable = 55,
    SourcesUnavailable = 56,
    SourceNotOpened = 57,
    NoMatchingStories = 58,
    ChooseStory = 59,
    EmptyBoard = 60,
    ChooseCardToConnect = 61,
    ConnectionSaved = 62,
    ConnectionsCleared = 63,
    ExportSaved = 64,
    ExportFailed = 65,
    StillInTray = 66,
    NewStoriesBalloon = 67,
    DecodingImage = 68,
    ImageNotDecoded = 69,
    NoteSaved = 70,
    RecoveredBackup = 71,
    RecoveryLibraryOpen = 72,
    FieldNoteArchive = 73,
    Published = 74,
    Connections = 75,
    Close = 76,
    Copy = 77,
    Cut = 78,
    Paste = 79,
    SelectAll = 80,
    UndoBoardEdit = 81,
    RemovedFromBoard = 82,
    LastSuccessfulCheck = 83,
    NotYetChecked = 84,
    On = 85,
    Off = 86,
    SourceContentInEnglish = 87,
    ImageCredit = 88,
    AtlasCaption = 89,
    ShortcutMap = 90,
    UnsavedChanges = 91,
    RetrySave = 92,
    RestoreBackup = 93,
    RestoreConfirm = 94,
    BackupRestored = 95,
    NoReadableBackup = 96,
    CancelRestore = 97,
    RetryImage = 98,
    LibraryRecovered = 99,
    // The atlas of a build whose plates are drawn stand-ins says so instead of rows 11 and 88.
    HintAtlasStandIn = 100,
    ImageCreditStandIn0 = 101,
    ImageCreditStandIn1 = 102,
    // Screen readers hear this of a story on the board.
    PinnedState = 103,
};

inline constexpr int UI_STRING_COUNT = 104;
inline constexpr int UI_LANGUAGE_COUNT = 3;

// Entry 3 * key + language, NUL-terminated, in static storage.
extern const wchar_t* const UI_STRINGS[UI_STRING_COUNT * UI_LANGUAGE_COUNT];

// The text of a key in currentUiLanguage.
const wchar_t* UiText(UiStringKey key);
const wchar_t* uiTextIn(UiStringKey key, UiLanguage language);

// Texts chosen by the language outside the table.
const wchar_t* licencesTitle();       // "Licenses & credits"
const wchar_t* uiLanguageName();      // "English", "Español", "Deutsch"

// ---------------------------------------------------------------------------------------------
// Local date and time (window thread; the time zone is read anew at every call)

// The local date (short form) and time (no seconds) of a Unix time, by the Windows regional settings.
std::wstring formatLocalDateTime(std::int64_t unixSeconds, bool withDate);
// "UTC+02:00": the current offset of local time from UTC.
std::wstring formatUtcOffset();
