// The Discover view: the searchable story list, its scrolling and hit tests, and the story panel.
#include "views/views.h"

void paintDiscover(Canvas&, AppState&, const Library&) {}

void onMouseDownDiscover(Session& session, float, float)
{
    SetFocus(session.app.mainWindow);
}

void onMouseWheelDiscover(Session&, float, float, int) {}
void toggleSelectedPin(Session&) {}
void openSelectedSource(Session&) {}
