// Section painters, mouse handlers and view commands that the Discover list, Story board, Evidence
// atlas and Preferences panels fill in; until a section has its view, it shows only the chrome.
#include "views/views.h"

void paintDiscover(Canvas&, AppState&, const Library&) {}
void paintBoard(Canvas&, AppState&, const Library&) {}
void paintAtlas(Canvas&, AppState&, const Library&) {}
void paintPreferences(Canvas&, AppState&, const Library&) {}

void onMouseDownDiscover(Session& session, float, float)
{
    SetFocus(session.app.mainWindow);
}

void onMouseDownBoard(Session&, float, float) {}

void onMouseDownAtlas(Session& session, float, float)
{
    SetFocus(session.app.mainWindow);
}

void onMouseWheelDiscover(Session&, float, float, int) {}
void onMouseWheelBoard(Session&, float, float, int) {}
void onMouseWheelAtlas(Session&, float, float, int) {}
void onDragMoveBoard(Session&, float, float) {}
void onDragMoveAtlas(Session&, float, float) {}

void toggleSelectedPin(Session&) {}
void openSelectedSource(Session&) {}
void toggleLinkMode(Session&) {}
void fitBoard(Session&) {}
void clearLinks(Session&) {}
void undoBoardEdit(Session&) {}
void fitAtlas(AppState&) {}
void zoomAtlasAbout(AppState&, double, double, double) {}
