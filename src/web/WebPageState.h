#pragma once
// The web access page's name and the changes made to it locally, shared by the page's
// look and name window, the remote host window and the main window's close question.
#include <QString>

namespace ostrel {

struct WebPageState {
    // The page's name on the server; every start begins with the default.
    QString WebPageName = QStringLiteral("ostrel.html");
    // The name before the last saved name change.
    QString OldPageName;
    // While typing the text typed; after a saved name change that text + ".html".
    QString NewPageName;
    // A name or look change was saved and not yet uploaded or discarded.
    bool PageChangesPending = false;
    QString SizeLabel;    // "0600x450"
    QString RefreshLabel; // "120 sec"
    int RefreshSeconds = 0;
};

} // namespace ostrel
