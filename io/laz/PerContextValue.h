#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <utility>

namespace laz {

// One value and model set per context; when the context changes to one already seen, that
// record is still predicted from, and stored as, the value of the context before. The format
// does it, so it is done.
template <typename Value, typename Models>
class PerContextValue {
public:
    void Start(const Value& first, std::uint32_t context)
    {
        for (auto& c : m_contexts)
            c.reset();
        m_context = context;
        m_contexts[context] = std::make_unique<Context>(first);
    }

    // The last value and the models for context, per the rule above.
    std::pair<Value&, Models&> Select(std::uint32_t context)
    {
        Value& last = m_contexts[m_context]->last;
        if (context != m_context) {
            m_context = context;
            if (!m_contexts[context]) {
                m_contexts[context] = std::make_unique<Context>(last);
                return {m_contexts[context]->last, m_contexts[context]->models};
            }
        }
        return {last, m_contexts[context]->models};
    }

private:
    struct Context {
        explicit Context(const Value& first) : last(first) {}
        Value last;
        Models models;
    };
    std::array<std::unique_ptr<Context>, 4> m_contexts;
    std::uint32_t m_context = 0;
};

}  // namespace laz
