// What the program reports of itself in UI test mode: on request it writes its state as "name=value"
// lines into "ui-state.txt" in its data folder, so the UI test driver can check what the window shows.
#include "shell/shell_internal.h"

#include "persistence/persistence.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

std::string utf8Of(const std::wstring& text)
{
    try {
        return utf16ToUtf8(text);
    } catch (const Failure&) {
        return "?";
    }
}

void writeUiTestState(const Session& s)
{
    const AppState& app = s.app;
    const Library& library = s.library;
    std::ostringstream out;
    out.precision(17);
    const auto line = [&](const char* name, const auto& value) { out << name << '=' << value << '\n'; };
    line("section", static_cast<int>(app.currentSection));
    line("statusText", utf8Of(app.statusText));
    line("statusIsError", app.statusIsError ? 1 : 0);
    line("unsavedChanges", app.unsavedChanges ? 1 : 0);
    line("selectedStoryId", app.selectedStoryId);
    line("searchText", utf8Of(app.searchText));
    line("listScrollOffset", app.listScrollOffset);
    line("refreshInProgress", app.refreshInProgress ? 1 : 0);
    line("linkMode", app.linkMode ? 1 : 0);
    line("newLinkKind", app.newLinkKind);
    line("undoAvailable", app.undoAvailable ? 1 : 0);
    line("boardZoom", app.boardZoom);
    line("boardPanX", app.boardPanX);
    line("boardPanY", app.boardPanY);
    line("atlasZoom", app.atlasZoom);
    line("atlasPanX", app.atlasPanX);
    line("atlasPanY", app.atlasPanY);
    line("requestedPlate", app.requestedPlate);
    line("loadedPlate", app.loadedPlate);
    line("plateDecodeRunning", app.plateDecodeRunning ? 1 : 0);
    line("restoreArmed", app.restoreArmed ? 1 : 0);
    line("licencesShown", app.licencesShown ? 1 : 0);
    line("trayIconAdded", app.trayIconAdded ? 1 : 0);
    line("automatic", library.settings.automatic ? 1 : 0);
    line("notifications", library.settings.notifications ? 1 : 0);
    line("lastCheck", library.settings.lastCheck);
    line("nextAutoCheck", app.nextAutoCheck);
    line("now", currentUnixSeconds());
    line("dpiScale", app.dpiScale);
    line("clientWidthDip", app.clientWidthDip);
    line("clientHeightDip", app.clientHeightDip);
    line("libraryPath", utf8Of(app.libraryPath));
    line("stories", library.stories.size());
    line("links", library.links.size());
    line("pinned", std::count_if(library.stories.begin(), library.stories.end(), [](const Story& story) { return story.saved; }));
    line("hitRows", app.hitRows.size());

    const std::wstring path = joinPath(app.dataFolder, L"ui-state.txt");
    std::ofstream file(path.c_str(), std::ios::binary | std::ios::trunc);
    file << out.str();
}

}  // namespace

namespace shell_detail {

UINT uiTestStateMessage()
{
    static const UINT message = RegisterWindowMessageW(L"KestruneUiTestState");
    return message;
}

LRESULT answerUiTestStateQuery(const Session& session)
{
    if (!session.app.uiTestMode)
        return 0;
    writeUiTestState(session);
    return 1;
}

}  // namespace shell_detail
