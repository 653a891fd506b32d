#pragma once

#include "document/OpenFailure.h"

#include <string>

// What the document needs from the program it runs in: telling the user why a file did not
// open, and showing which file is open. Calls are made on the UI thread.
class DocumentHost {
public:
    virtual ~DocumentHost() = default;

    // A file did not open; the program tells the user why, in its own words.
    virtual void ReportOpenFailure(const OpenFailure& failure) = 0;
    // Rebuild the window title from the document's path (empty: no document path).
    virtual void RefreshFrameTitle(const std::string& documentPath) = 0;
};
