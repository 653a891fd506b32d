#include "capture/CompareRenders.h"

#include "capture/JpegFile.h"

#include "support/TestData.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>
#include <sstream>

#include <jpeglib.h>

namespace {

RgbImage Gradient(int width, int height, int offset = 0)
{
    RgbImage image{width, height, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                image.pixels.push_back(static_cast<std::uint8_t>((x * 7 + y * 3 + c * 50 + offset) % 256));
    return image;
}

void WriteJpeg(const std::filesystem::path& path, const RgbImage& image)
{
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    jpeg_stdio_dest(&info, file);
    info.image_width = static_cast<JDIMENSION>(image.width);
    info.image_height = static_cast<JDIMENSION>(image.height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<std::uint8_t*>(image.pixels.data()) + info.next_scanline * image.width * 3;
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(file);
}

// Adds a camera whose photo has the name, taken at the size with the focal length.
void AddCamera(CameraPoseSet& poses, const std::string& name, double width, double height, double fy)
{
    poses.frames.emplace_back().fovY = 0.5f;
    poses.images.push_back(CameraImage{name, width, height, 0.0, fy, 0.0, 0.0});
}

TEST(CompareRenders, EachCameraGetsARowAndProblemsDoNotStopTheRun)
{
    const testsupport::ScratchDir scratch;
    std::filesystem::create_directories(scratch.File("images"));
    std::string error;
    // Photos twice the cameras' size, as trainers often keep them.
    ASSERT_TRUE(WritePngFile(scratch.File("images/same.png"), Gradient(40, 30), error));
    ASSERT_TRUE(WritePngFile(scratch.File("images/other.png"), Gradient(40, 30), error));
    ASSERT_TRUE(WritePngFile(scratch.File("images/wrong.png"), Gradient(40, 40), error));
    WriteJpeg(scratch.File("images/photo.JPG"), Gradient(40, 30));
    scratch.Write("images/broken.png", "not a picture");

    CameraPoseSet poses;
    for (const char* name : {"same", "missing", "wrong", "other", "photo", "broken", ""})
        AddCamera(poses, name, 20, 15, 30);
    CompareOptions options;
    options.poseFile = scratch.File("cameras.json");
    options.sideBySideDir = scratch.File("side");
    std::filesystem::create_directories(options.sideBySideDir);

    std::vector<float> fovs;
    std::vector<std::optional<PinholeIntrinsics>> lenses;
    const CameraRender render = [&fovs, &lenses](const CameraFrame& frame, float, int width, int height,
                                                 const std::optional<PinholeIntrinsics>& intrinsics) -> std::optional<RgbImage> {
        fovs.push_back(frame.fovY);
        lenses.push_back(intrinsics);
        // The second camera drawn ("other") draws something else than its photo.
        return Gradient(width, height, fovs.size() == 2 ? 9 : 0);
    };
    std::size_t reported = 0;
    const std::vector<CompareRow> rows =
        CompareWithPhotos(poses, options, render, [&reported](const CompareRow&, std::size_t) { ++reported; });
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(reported, 7u);

    EXPECT_TRUE(std::isinf(*rows[0].psnr));
    EXPECT_DOUBLE_EQ(*rows[0].ssim, 1.0);
    EXPECT_EQ(rows[1].note, "image not found");
    EXPECT_FALSE(rows[1].psnr);
    EXPECT_EQ(rows[2].note, "image is 40x40, the camera 20x15");
    EXPECT_GT(*rows[3].psnr, 0.0);
    EXPECT_LT(*rows[3].ssim, 1.0);
    EXPECT_GT(*rows[4].psnr, 15.0);  // a JPEG of the render: close, not exact
    EXPECT_NE(rows[5].note.find("PNG"), std::string::npos);
    EXPECT_EQ(rows[6].note, "the camera names no image");

    // Focal length 30 at width 20 is 60 at the photo's width 40.
    ASSERT_EQ(fovs.size(), 3u);
    EXPECT_FLOAT_EQ(fovs[0], static_cast<float>(2.0 * std::atan(30.0 / 120.0)));
    ASSERT_TRUE(lenses[0]);
    EXPECT_FLOAT_EQ(lenses[0]->fy, 60.0f);
    EXPECT_FLOAT_EQ(lenses[0]->cx, 20.0f);

    const ReadResult<RgbImage> side = ReadPhotoFile(scratch.File("side/0003_other.png"));
    ASSERT_TRUE(side.Ok()) << side.Failure().reason;
    EXPECT_EQ(side.Value().width, 120);
    EXPECT_EQ(side.Value().height, 30);
    EXPECT_FALSE(std::filesystem::exists(scratch.File("side/0001_missing.png")));

    const std::string csv = CompareCsv(rows);
    std::istringstream lines(csv);
    std::string line;
    std::vector<std::string> all;
    while (std::getline(lines, line))
        all.push_back(line);
    ASSERT_EQ(all.size(), 9u);
    EXPECT_EQ(all[0], "index,image,psnr_db,ssim,note");
    EXPECT_EQ(all[1], "0,same,inf,1.0000,");
    EXPECT_EQ(all[2], "1,missing,,,image not found");
    EXPECT_EQ(all[8].substr(0, 10), "mean,,inf,");
    EXPECT_NE(all[8].find("3 of 7 cameras compared"), std::string::npos);
}

TEST(CompareRenders, PhotosAreFoundWhereTheFilesSay)
{
    const testsupport::ScratchDir scratch;
    std::filesystem::create_directories(scratch.File("scene/images"));
    std::filesystem::create_directories(scratch.File("scene/frames"));
    std::filesystem::create_directories(scratch.File("dataset/images_2"));
    std::filesystem::create_directories(scratch.File("elsewhere"));
    scratch.Write("scene/frames/f1.jpg", "x");
    scratch.Write("scene/images/c1.png", "x");
    scratch.Write("dataset/images_2/d1.jpeg", "x");
    scratch.Write("elsewhere/c1.PNG", "x");
    const auto poses = scratch.File("scene/transforms.json");

    EXPECT_EQ(FindTrainingImage("frames/f1", poses, {}), scratch.File("scene/frames/f1.jpg"));
    EXPECT_EQ(FindTrainingImage("./frames/f1.jpg", poses, {}), scratch.File("scene/./frames/f1.jpg"));
    EXPECT_EQ(FindTrainingImage("c1", poses, {}), scratch.File("scene/images/c1.png"));
    EXPECT_EQ(FindTrainingImage("c1", poses, scratch.File("elsewhere")), scratch.File("elsewhere/c1.PNG"));
    EXPECT_FALSE(FindTrainingImage("d1", poses, {}));
    EXPECT_FALSE(FindTrainingImage("", poses, {}));

    // The trainer's cfg_args names the dataset and its images folder.
    scratch.Write("scene/cfg_args", "Namespace(sh_degree=3, source_path='" + scratch.File("dataset").string() +
                                        "', model_path='out', images='images_2', eval=True)");
    EXPECT_EQ(DatasetImagesDir(poses), scratch.File("dataset/images_2"));
    EXPECT_EQ(FindTrainingImage("d1", poses, {}), scratch.File("dataset/images_2/d1.jpeg"));
    scratch.Write("scene/cfg_args", "Namespace(source_path=\"/data/garden\")");
    EXPECT_EQ(DatasetImagesDir(poses), std::filesystem::path("/data/garden/images"));
    scratch.Write("scene/cfg_args", "Namespace(model_path='x')");
    EXPECT_FALSE(DatasetImagesDir(poses));
}

TEST(CompareRenders, JpegReaderFailsCleanly)
{
    const testsupport::ScratchDir scratch;
    WriteJpeg(scratch.File("good.jpg"), Gradient(16, 8));
    const ReadResult<RgbImage> good = ReadJpegFile(scratch.File("good.jpg"));
    ASSERT_TRUE(good.Ok());
    EXPECT_EQ(good.Value().width, 16);
    EXPECT_EQ(good.Value().height, 8);
    EXPECT_EQ(good.Value().pixels.size(), 16u * 8u * 3u);

    const std::string bytes = testsupport::ReadWholeFile(scratch.File("good.jpg"));
    const auto cut = scratch.Write("cut.jpg", bytes.substr(0, bytes.size() / 2));
    // libjpeg-turbo pads a cut stream with grey and warns; either a picture or a clean failure.
    const ReadResult<RgbImage> half = ReadJpegFile(cut);
    if (half.Ok()) {
        EXPECT_EQ(half.Value().pixels.size(), 16u * 8u * 3u);
    }
    const auto header = scratch.Write("header.jpg", bytes.substr(0, 20));
    EXPECT_EQ(ReadJpegFile(header).Failure().code, ReadError::Malformed);
    EXPECT_EQ(ReadJpegFile(scratch.Path()).Failure().code, ReadError::CannotOpen);
    EXPECT_EQ(ReadPhotoFile(scratch.Write("text.png", "hello there")).Failure().code, ReadError::NotRecognised);

    // A frame header claiming 65000 x 65000 pixels is turned away before anything is allocated.
    std::string huge = bytes;
    const std::size_t sof = huge.find("\xFF\xC0");
    ASSERT_NE(sof, std::string::npos);
    huge[sof + 5] = '\xFD';
    huge[sof + 6] = '\xE8';
    huge[sof + 7] = '\xFD';
    huge[sof + 8] = '\xE8';
    EXPECT_EQ(ReadJpegFile(scratch.Write("huge.jpg", huge)).Failure().code, ReadError::TooLarge);
}

TEST(CompareRenders, PhotoFieldOfViewAndSideBySide)
{
    CameraFrame frame;
    frame.fovY = 0.5f;
    CameraImage camera{"a", 800, 600, 0, 300, 0, 0};
    EXPECT_FLOAT_EQ(PhotoFovY(frame, camera, 1600, 1200), static_cast<float>(std::numbers::pi / 2));
    camera.fy = 0;
    EXPECT_EQ(PhotoFovY(frame, camera, 1600, 1200), 0.5f);

    // The lens at twice the camera's size: everything doubles; a missing fx or principal point
    // falls back to fy and the photo's middle.
    camera = CameraImage{"a", 800, 600, 310, 300, 410, 290};
    const std::optional<PinholeIntrinsics> lens = PhotoIntrinsics(camera, 1600, 1200);
    ASSERT_TRUE(lens);
    EXPECT_FLOAT_EQ(lens->fx, 620.0f);
    EXPECT_FLOAT_EQ(lens->fy, 600.0f);
    EXPECT_FLOAT_EQ(lens->cx, 820.0f);
    EXPECT_FLOAT_EQ(lens->cy, 580.0f);
    EXPECT_EQ(lens->width, 1600);
    EXPECT_EQ(lens->height, 1200);
    camera = CameraImage{"a", 800, 600, 0, 300, 0, 0};
    const std::optional<PinholeIntrinsics> centred = PhotoIntrinsics(camera, 1600, 1201);
    ASSERT_TRUE(centred);
    EXPECT_FLOAT_EQ(centred->fx, 600.0f);
    EXPECT_FLOAT_EQ(centred->cx, 800.0f);
    EXPECT_FLOAT_EQ(centred->cy, 600.5f);
    camera.fy = 0;
    EXPECT_FALSE(PhotoIntrinsics(camera, 1600, 1200));
    camera = CameraImage{"a", 0, 0, 300, 300, 0, 0};
    EXPECT_FALSE(PhotoIntrinsics(camera, 1600, 1200));

    const RgbImage render{1, 1, {10, 200, 30}};
    const RgbImage photo{1, 1, {20, 100, 30}};
    const RgbImage side = SideBySide(render, photo);
    EXPECT_EQ(side.width, 3);
    EXPECT_EQ(side.pixels, (std::vector<std::uint8_t>{10, 200, 30, 20, 100, 30, 40, 255, 0}));
    EXPECT_TRUE(SideBySide(render, RgbImage{2, 1, {}}).pixels.empty());
}

}  // namespace
