#include "io/core/FileName.h"

namespace {

bool IsAsciiLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The length of a URL's "scheme://" prefix; 0 for a path that does not start with one.
std::size_t SchemeLength(std::string_view path)
{
    const std::size_t colon = path.find("://");
    if (colon == std::string_view::npos || colon == 0 || !IsAsciiLetter(path[0]))
        return 0;
    for (char c : path.substr(0, colon))
        if (!IsAsciiLetter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.')
            return 0;
    return colon + 3;
}

// For a URL, its path alone (without host, query and fragment); a local path as it is.
std::string_view PathPart(std::string_view path)
{
    const std::size_t scheme = SchemeLength(path);
    if (scheme == 0)
        return path;
    const std::string_view rest = path.substr(scheme);
    const std::size_t pathStart = rest.find_first_of("/?#");
    if (pathStart == std::string_view::npos || rest[pathStart] != '/')
        return {};
    const std::string_view urlPath = rest.substr(pathStart);
    return urlPath.substr(0, urlPath.find_first_of("?#"));
}

}  // namespace

std::string LowerCaseFileName(std::string_view path)
{
    const std::string_view part = PathPart(path);
    const std::size_t slash = part.find_last_of('/');
    std::string name(slash == std::string_view::npos ? part : part.substr(slash + 1));
    for (char& c : name)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return name;
}

std::string FileExtension(std::string_view path)
{
    const std::string name = LowerCaseFileName(path);
    const std::size_t dot = name.rfind('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}
