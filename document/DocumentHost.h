#pragma once

#include <string>

// What the document needs from the program it runs in: telling the user why a file did not
// open, and showing which file is open. Calls are made on the UI thread.
class DocumentHost {
public:
    virtual ~DocumentHost() = default;

    // Plain modal message box: the text, an OK button, no icon. `details`, when given, is
    // a further line the user may unfold (why a file could not be read, for example).
    virtual void ShowMessageBox(const std::string& text, const std::string& details = {}) = 0;
    // Rebuild the window title from the document's path (empty: no document path).
    virtual void RefreshFrameTitle(const std::string& documentPath) = 0;
};
