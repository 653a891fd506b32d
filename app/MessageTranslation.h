#pragma once

#include "messages/MessageCatalog.h"

#include <string>

// A sentence of the message catalogue through the translation installed in the running
// application (the source text where there is none), in UTF-8.
std::string TranslateWithQt(const MessageSource& source);
