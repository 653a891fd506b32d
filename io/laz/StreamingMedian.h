#pragma once

#include <array>
#include <cstdint>

namespace laz {

// The median of the last five values seen, kept sorted incrementally. Which end an insert
// replaces alternates, which is part of the format: coordinates are predicted from it.
class StreamingMedian5 {
public:
    std::int32_t Get() const { return m_values[2]; }

    void Add(std::int32_t v)
    {
        auto& s = m_values;
        if (m_high) {
            if (v < s[2]) {
                s[4] = s[3];
                s[3] = s[2];
                if (v < s[0]) {
                    s[2] = s[1];
                    s[1] = s[0];
                    s[0] = v;
                } else if (v < s[1]) {
                    s[2] = s[1];
                    s[1] = v;
                } else {
                    s[2] = v;
                }
            } else {
                if (v < s[3]) {
                    s[4] = s[3];
                    s[3] = v;
                } else {
                    s[4] = v;
                }
                m_high = false;
            }
        } else {
            if (s[2] < v) {
                s[0] = s[1];
                s[1] = s[2];
                if (s[4] < v) {
                    s[2] = s[3];
                    s[3] = s[4];
                    s[4] = v;
                } else if (s[3] < v) {
                    s[2] = s[3];
                    s[3] = v;
                } else {
                    s[2] = v;
                }
            } else {
                if (s[1] < v) {
                    s[0] = s[1];
                    s[1] = v;
                } else {
                    s[0] = v;
                }
                m_high = true;
            }
        }
    }

private:
    std::array<std::int32_t, 5> m_values{};
    bool m_high = true;
};

}  // namespace laz
