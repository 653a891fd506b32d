#include "io/ply/PlyReadFailure.h"

#include "io/ply/PlyError.h"
#include "io/ply/PlyFile.h"

#include <exception>
#include <new>
#include <string>

ReadFailure FailureOfCurrentException(std::string_view component, std::string_view format, ReadNotes& notes)
{
    const auto note = [&](std::string text) { notes.push_back({NoteLevel::Error, std::string(component), std::move(text)}); };
    try {
        throw;
    } catch (const orrisk::ply::TruncatedBody& error) {
        note(std::string("exception: ") + error.what());
        return Fail(ReadError::Truncated, error.what());
    } catch (const std::bad_alloc& error) {
        note(std::string("exception: ") + error.what());
        return Fail(ReadError::TooLarge, std::string(format) + ": not enough memory");
    } catch (const std::exception& error) {
        note(std::string("exception: ") + error.what());
        return Fail(ReadError::Malformed, error.what());
    } catch (...) {
        note("unknown exception.");
        return Fail(ReadError::Malformed, std::string(format) + ": unknown error");
    }
}

const orrisk::ply::PlyElement* FindVertex(const orrisk::ply::PlyFile& file, std::string_view component, ReadNotes& notes)
{
    if (file.ContainsElement("vertex"))
        return &file.ElementNamed("vertex");
    notes.push_back({NoteLevel::Error, std::string(component), "no 'vertex' element."});
    return nullptr;
}
