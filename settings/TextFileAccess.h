#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

// Careful whole-file access for small files the program keeps for itself.

enum class ExistingFileState {
    Missing,   // nothing at the path
    Text,      // a regular file of text, now in `text`
    NotText,   // a regular file holding NUL bytes (binary data, UTF-16), now in `text` as it is
    TooLarge,  // a regular file larger than the caller's bound; not read
    Unusable,  // cannot be read or is no regular file
};

struct ExistingFile {
    ExistingFileState state = ExistingFileState::Missing;
    std::string text;
};

// Reads the file at the path, never blocking on special files and never reading more than
// maxBytes.
ExistingFile ReadExistingFile(const std::filesystem::path& path, std::size_t maxBytes);

// Replaces the file's contents so that readers see either the old or the new file, never a
// part of one: the bytes go to a temporary file beside it, reach the disk and are renamed
// over it. An existing file keeps its permission bits; a symbolic link keeps pointing at
// the file, which is replaced. False when anything fails; the old file is then untouched
// and no temporary file remains.
bool ReplaceFileAtomically(const std::filesystem::path& path, std::string_view contents);
