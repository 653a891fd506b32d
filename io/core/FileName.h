#pragma once

#include <string>
#include <string_view>

// The last part of a path, lower-cased (ASCII A-Z only): for a local path what follows its
// last '/'; for a URL ("scheme://host/path?query#fragment") the last part of its path.
std::string LowerCaseFileName(std::string_view path);

// What follows the last '.' of the file's name (LowerCaseFileName): a dot in a folder name
// does not count. Empty when the name has no dot or ends with one.
std::string FileExtension(std::string_view path);
