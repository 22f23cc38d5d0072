// A view's request as one line of text, so a test compares and prints what a handler asked for.
#pragma once

#include "views/views.h"

#include <string>

inline std::string describe(const ViewRequest& request)
{
    std::string text;
    const auto add = [&text](bool asked, const std::string& what) {
        if (!asked)
            return;
        if (!text.empty())
            text += ' ';
        text += what;
    };
    add(request.commitNote, "commitNote");
    add(request.selectStory.has_value(), "select(" + request.selectStory.value_or("") + ")");
    if (request.drag)
        add(true, "drag(" + request.drag->storyId + " at " + std::to_string(int(request.drag->x)) + "," +
                      std::to_string(int(request.drag->y)) + ")");
    add(request.showSelectedCard, "showSelectedCard");
    add(request.save, "save");
    if (request.savedStatus)
        add(true, "savedStatus(" + std::to_string(int(*request.savedStatus)) + ")");
    if (request.status)
        add(true, "status(" + std::to_string(int(*request.status)) + ")");
    add(request.relayout, "relayout");
    add(request.boardZoomRest, "boardZoomRest");
    add(request.announceFocus, "announceFocus");
    add(request.repaint, "repaint");
    add(request.announceAtlasView, "announceAtlasView");
    return text.empty() ? "nothing" : text;
}

// The same for an expected status key, as describe writes it.
inline std::string keyText(UiStringKey key)
{
    return std::to_string(int(key));
}
