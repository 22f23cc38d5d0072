// The Evidence atlas: the embedded plates with their previews, zoom about a point, fit and pan.
#include "views/views.h"

void paintAtlas(Canvas&, AppState&, const Library&) {}

void onMouseDownAtlas(Session& session, float, float)
{
    SetFocus(session.app.mainWindow);
}

void onMouseWheelAtlas(Session&, float, float, int) {}
void onDragMoveAtlas(Session&, float, float) {}
void fitAtlas(AppState&) {}
void zoomAtlasAbout(AppState&, double, double, double) {}
