#include "support/TestData.h"

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace testsupport {

std::filesystem::path TestDataDir()
{
    std::error_code ec;
    const std::filesystem::path dir = ORRISK_TESTDATA_DIR;
    if (std::filesystem::is_directory(dir, ec))
        return std::filesystem::canonical(dir, ec);
    return {};
}

std::filesystem::path TestDataFile(std::string_view relative)
{
    return TestDataDir() / relative;
}

ScratchDir::ScratchDir()
{
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto candidate = base / ("orrisk-test-" + std::to_string(::getpid()) + "-" +
                                       std::to_string(counter++) + "-" + std::to_string(random()));
        std::error_code ec;
        if (std::filesystem::create_directory(candidate, ec)) {
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a scratch directory");
}

ScratchDir::~ScratchDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

std::filesystem::path ScratchDir::Write(std::string_view name, std::string_view bytes) const
{
    const auto path = m_path / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
    return path;
}

std::filesystem::path ScratchDir::Write(std::string_view name, const std::vector<std::uint8_t>& bytes) const
{
    return Write(name, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::string ReadWholeFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace testsupport
