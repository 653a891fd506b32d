#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace testsupport {

// The project's shared test corpus (../shared/testdata beside the checkout), or an empty
// path when it is not there (a fresh clone of the project alone).
std::filesystem::path TestDataDir();

// Path of a corpus file, e.g. TestDataFile("las/autzen.las").
std::filesystem::path TestDataFile(std::string_view relative);

// A fresh directory under the system's temporary directory, removed with everything in it
// when the object goes away.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }
    std::filesystem::path File(std::string_view name) const { return m_path / name; }
    // Writes the bytes to a file in the directory and returns its path.
    std::filesystem::path Write(std::string_view name, std::string_view bytes) const;
    std::filesystem::path Write(std::string_view name, const std::vector<std::uint8_t>& bytes) const;

private:
    std::filesystem::path m_path;
};

std::string ReadWholeFile(const std::filesystem::path& path);

}  // namespace testsupport

// Skips the current test with a message when the shared corpus is absent.
#define ORRISK_REQUIRE_TESTDATA()                                                          \
    do {                                                                                   \
        if (::testsupport::TestDataDir().empty())                                          \
            GTEST_SKIP() << "../shared/testdata is not present; skipping corpus test";     \
    } while (false)
