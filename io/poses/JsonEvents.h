#pragma once

#include <iosfwd>
#include <optional>
#include <string>

// What a pose file reader does with the events of its JSON text. Only the values a handler
// steps into reach it: the parser passes over the others, however deeply they nest, by
// counting their depth, so the text costs no memory beyond a single value.
class JsonEventHandler {
public:
    enum class Step { Into, PassOver, Stop };

    virtual ~JsonEventHandler() = default;

    // A value that is no object, array or string: its number when it is one. False stops.
    virtual bool Scalar(std::optional<double> number) = 0;
    // A string value. False stops.
    virtual bool Text(std::string& text) = 0;
    // An object or an array starts.
    virtual Step Start(bool isObject) = 0;
    // The object or array last stepped into ends.
    virtual void End() = 0;
    // The key of the value that comes next, in an object stepped into.
    virtual void ObjectKey(std::string& name) = 0;
};

// Parses the JSON text (strict, without comments) event by event; false when the text is not
// JSON or the handler stopped.
bool ParseJsonEvents(std::istream& stream, JsonEventHandler& handler);
