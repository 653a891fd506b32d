#include "messages/Wording.h"

std::string FillMarkers(const std::string& pattern, std::initializer_list<std::string> arguments)
{
    std::string text;
    text.reserve(pattern.size());
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
        const std::size_t number = next >= '1' && next <= '9' ? static_cast<std::size_t>(next - '0') : 0;
        if (pattern[i] == '%' && number != 0 && number <= arguments.size()) {
            text += arguments.begin()[number - 1];
            ++i;
        } else {
            text += pattern[i];
        }
    }
    return text;
}

std::string Word(MessageId id, std::initializer_list<std::string> arguments, const TranslateMessage& translate)
{
    const MessageSource source = SourceOf(id);
    return FillMarkers(translate ? translate(source) : std::string(source.text), arguments);
}
