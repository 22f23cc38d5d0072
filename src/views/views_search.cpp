// The Discover search filter: an ASCII-only case-insensitive substring search over each story's
// title, body and note, in library order.
#include "views/views.h"

namespace {

void lowerAscii(std::wstring& text)
{
    for (wchar_t& unit : text)
        if (unit >= L'A' && unit <= L'Z')
            unit = static_cast<wchar_t>(unit + (L'a' - L'A'));
}

}  // namespace

std::vector<const Story*> matchingStories(const AppState& app, const Library& library)
{
    std::wstring query = app.searchText;
    lowerAscii(query);
    std::vector<const Story*> matches;
    for (const Story& story : library.stories) {
        if (query.empty()) {
            matches.push_back(&story);
            continue;
        }
        std::string joined = story.title;
        joined += ' ';
        joined += story.body;
        joined += ' ';
        joined += story.note;
        std::wstring haystack = utf8ToUtf16(joined);
        lowerAscii(haystack);
        if (haystack.find(query) != std::wstring::npos)
            matches.push_back(&story);
    }
    return matches;
}
