#pragma once

#include "messages/MessageCatalog.h"

#include <functional>
#include <initializer_list>
#include <string>

// A sentence's text in the user's language: Qt's translation in the desktop, the source text
// in the command-line tools (an empty function).
using TranslateMessage = std::function<std::string(const MessageSource& source)>;

// The sentence `id` in the user's language with %1, %2, ... replaced by `arguments` in order.
// The arguments are data (a path, a count, a reason) and are never searched for markers
// themselves; a marker without an argument stays as it is.
std::string Word(MessageId id, std::initializer_list<std::string> arguments = {}, const TranslateMessage& translate = {});

// Replaces %1 to %9 in `pattern` by the arguments, each marker once, in one pass.
std::string FillMarkers(const std::string& pattern, std::initializer_list<std::string> arguments);
