#pragma once

#include <QString>

#include <cstdint>
#include <span>

// The standard point classes by their Japanese names, code for code: the program's own texts,
// which the translations give in the user's language under the context "ClassificationNames".
std::span<const char* const> ClassificationSourceNames();

// The name of a class in the user's language; codes without a standard name are "分類 N".
QString ClassificationDisplayName(std::uint8_t code);
