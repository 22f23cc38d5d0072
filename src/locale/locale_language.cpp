// The process-wide interface language and its detection from the first Windows display-language
// preference; only English, Spanish and German are offered, everything else reads English.
#include "locale/locale.h"

#include <new>
#include <stdexcept>
#include <vector>

#include "locale/locale_internal.h"

UiLanguage currentUiLanguage = UiLanguage::English;

namespace {

// C-locale folding on purpose: the user's own locale must not change how a tag is matched.
wchar_t asciiLower(wchar_t c)
{
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
}

// The whole primary subtag must match: "es" and "es-…" do, "est" and "es_ES" do not.
bool hasPrimarySubtag(std::wstring_view tag, std::wstring_view primary)
{
    if (tag.size() < primary.size() || tag.substr(0, primary.size()) != primary) return false;
    return tag.size() == primary.size() || tag[primary.size()] == L'-';
}

}  // namespace

UiLanguage uiLanguageFromTag(std::wstring_view tag)
{
    std::wstring folded(tag);
    for (wchar_t& c : folded) c = asciiLower(c);
    if (hasPrimarySubtag(folded, L"es")) return UiLanguage::Spanish;
    if (hasPrimarySubtag(folded, L"de")) return UiLanguage::German;
    return UiLanguage::English;
}

UiLanguage uiLanguageFromPreferredList(const wchar_t* list)
{
    if (list == nullptr) return UiLanguage::English;
    return uiLanguageFromTag(std::wstring_view(list));
}

UiLanguage detectUiLanguage()
{
    // The first call only sizes the buffer; its result is not trusted, the second call decides.
    ULONG languageCount = 0;
    ULONG needed = 0;
    GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &languageCount, nullptr, &needed);

    try {
        // Two extra zeros keep the list terminated even if Windows fills the whole count.
        std::vector<wchar_t> buffer(static_cast<std::size_t>(needed) + 2, L'\0');
        ULONG size = needed;
        if (!GetUserPreferredUILanguages(MUI_LANGUAGE_NAME, &languageCount, buffer.data(), &size))
            return UiLanguage::English;
        return uiLanguageFromPreferredList(buffer.data());
    } catch (const std::bad_alloc&) {
        return UiLanguage::English;
    } catch (const std::length_error&) {
        return UiLanguage::English;
    }
}
