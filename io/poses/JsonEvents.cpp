#include "io/poses/JsonEvents.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <istream>

namespace {

using json = nlohmann::json;

// nlohmann's events, with every value the handler passes over counted away.
class EventParser final : public nlohmann::json_sax<json> {
public:
    explicit EventParser(JsonEventHandler& handler) : m_handler(handler) {}

    bool null() override { return Scalar(std::nullopt); }
    bool boolean(bool) override { return Scalar(std::nullopt); }
    bool number_integer(number_integer_t value) override { return Scalar(static_cast<double>(value)); }
    bool number_unsigned(number_unsigned_t value) override { return Scalar(static_cast<double>(value)); }
    bool number_float(number_float_t value, const string_t&) override { return Scalar(value); }
    bool string(string_t& text) override { return m_skipDepth > 0 || m_handler.Text(text); }
    bool binary(binary_t&) override { return Scalar(std::nullopt); }
    bool start_object(std::size_t) override { return Start(true); }
    bool start_array(std::size_t) override { return Start(false); }
    bool end_object() override { return End(); }
    bool end_array() override { return End(); }
    bool key(string_t& name) override
    {
        if (m_skipDepth == 0)
            m_handler.ObjectKey(name);
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) override { return false; }

private:
    bool Scalar(std::optional<double> number) { return m_skipDepth > 0 || m_handler.Scalar(number); }

    bool Start(bool isObject)
    {
        if (m_skipDepth > 0) {
            ++m_skipDepth;
            return true;
        }
        switch (m_handler.Start(isObject)) {
        case JsonEventHandler::Step::Into: return true;
        case JsonEventHandler::Step::PassOver: m_skipDepth = 1; return true;
        case JsonEventHandler::Step::Stop: return false;
        }
        return false;
    }

    bool End()
    {
        if (m_skipDepth > 0)
            --m_skipDepth;
        else
            m_handler.End();
        return true;
    }

    JsonEventHandler& m_handler;
    std::size_t m_skipDepth = 0;  // depth inside a value that is passed over
};

}  // namespace

bool ParseJsonEvents(std::istream& stream, JsonEventHandler& handler)
{
    EventParser parser(handler);
    return json::sax_parse(stream, &parser, json::input_format_t::json, /*strict=*/true, /*ignore_comments=*/false);
}
