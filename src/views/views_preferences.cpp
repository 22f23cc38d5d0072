// The Preferences view: the four information panels, the switches and actions, the licences page.
#include "views/views.h"

void paintPreferences(Canvas&, AppState&, const Library&) {}
