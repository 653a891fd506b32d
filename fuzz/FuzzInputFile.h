#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

// The readers take paths, libFuzzer hands out bytes: each input is written to a file in a
// folder of this process's own (in memory where /dev/shm exists), which goes away at exit.
class FuzzInputFile {
public:
    explicit FuzzInputFile(const std::string& name)
    {
        std::error_code ec;
        std::filesystem::path base = "/dev/shm";
        if (!std::filesystem::is_directory(base, ec))
            base = std::filesystem::temp_directory_path();
        m_dir = base / ("orrisk-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_dir);
        m_path = (m_dir / name).string();
    }
    ~FuzzInputFile()
    {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
    FuzzInputFile(const FuzzInputFile&) = delete;
    FuzzInputFile& operator=(const FuzzInputFile&) = delete;

    // Replaces the file's contents with the input and returns its path.
    const std::string& Write(const std::uint8_t* data, std::size_t size) const
    {
        std::ofstream out(m_path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        out.close();
        if (!out)
            std::abort();  // the harness itself failed, not the code under test
        return m_path;
    }

private:
    std::filesystem::path m_dir;
    std::string m_path;
};
