#pragma once

#include "capture/PngFile.h"

#include <filesystem>
#include <memory>
#include <string>

// Writes RGB frames as H.264 video (yuv420p, constant quality) in an MP4 file through FFmpeg's
// libraries. Width and height must be even, as 4:2:0 chroma needs.
class VideoWriter {
public:
    VideoWriter();
    ~VideoWriter();
    VideoWriter(const VideoWriter&) = delete;
    VideoWriter& operator=(const VideoWriter&) = delete;

    // Opens the file and the encoder. False, with the reason in `error`, on failure.
    bool Open(const std::filesystem::path& path, int width, int height, int fps, std::string& error);
    // Encodes one frame of the size given to Open.
    bool Write(const RgbImage& frame, std::string& error);
    // Drains the encoder and completes the file; without it the file is left unfinished.
    bool Finish(std::string& error);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// FFmpeg's libraries report the encoder's settings at information level on standard error; a
// program that shows its own progress calls this once to keep only warnings and errors.
void QuietVideoLibraryLog();
