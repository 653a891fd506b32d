#pragma once

#include "document/OpenFailure.h"
#include "messages/Wording.h"

#include <string>

// A message box's text and the further line the user may unfold.
struct UserMessage {
    std::string text;
    std::string details;
};

// How the user is told that a file did not open: the sentence for what was being opened;
// the read failure's reason goes in the details, or for a camera pose file after the
// sentence's first line.
UserMessage WordOpenFailure(const OpenFailure& failure, const TranslateMessage& translate = {});
