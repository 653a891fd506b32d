#include "view/StatusTexts.h"

#include "document/Document.h"
#include "scene/StreamedCloud.h"
#include "view/ViewCamera.h"

std::string BudgetedPointCountText(std::uint64_t drawn, std::uint64_t total)
{
    return "Points: " + std::to_string(drawn) + " / " + std::to_string(total);
}

StatusTexts ComposeStatusTexts(const Document& document, const ViewCamera& camera, int frameIndex)
{
    StatusTexts texts;
    if (const GaussianData* splats = document.Splats())
        texts.count = "Splats: " + std::to_string(splats->positions.size());
    else if (const PointCloudData* cloud = document.PointCloud())
        texts.count = "Points: " + std::to_string(cloud->streamed ? cloud->streamed->TotalPoints()
                                                                   : cloud->positions.size());

    texts.mode = std::string("Mode: ") + (camera.navMode == Fly ? "Fly" : "Orbit") + " | " +
                 (camera.projection == Orthographic ? "Ortho" : "Persp");

    const std::size_t frameCount = document.CameraPoses().frames.size();
    if (frameCount > 0 && frameIndex >= 0)
        texts.frame = "Frame: " + std::to_string(frameIndex + 1) + "/" + std::to_string(frameCount);
    return texts;
}
