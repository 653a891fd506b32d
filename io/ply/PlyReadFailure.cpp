#include "io/ply/PlyReadFailure.h"

#include "io/ply/PlyError.h"
#include "platform/Log.h"

#include <exception>
#include <new>
#include <string>

ReadFailure FailureOfCurrentException(std::string_view logComponent, std::string_view format)
{
    try {
        throw;
    } catch (const orrisk::ply::TruncatedBody& error) {
        Log(LogLevel::Error, logComponent, std::string("exception: ") + error.what());
        return Fail(ReadError::Truncated, error.what());
    } catch (const std::bad_alloc& error) {
        Log(LogLevel::Error, logComponent, std::string("exception: ") + error.what());
        return Fail(ReadError::TooLarge, std::string(format) + ": not enough memory");
    } catch (const std::exception& error) {
        Log(LogLevel::Error, logComponent, std::string("exception: ") + error.what());
        return Fail(ReadError::Malformed, error.what());
    } catch (...) {
        Log(LogLevel::Error, logComponent, "unknown exception.");
        return Fail(ReadError::Malformed, std::string(format) + ": unknown error");
    }
}
