#include "view/ViewStatus.h"

#include "scene/StreamedCloud.h"
#include "view/ViewCamera.h"

ViewStatus ComposeViewStatus(const Document& document, const ViewCamera& camera, int frameIndex)
{
    ViewStatus status;
    status.scene = document.Kind();
    if (const GaussianData* splats = document.Splats())
        status.items = splats->positions.size();
    else if (const PointCloudData* cloud = document.PointCloud())
        status.items = cloud->streamed ? cloud->streamed->TotalPoints() : cloud->positions.size();
    status.fly = camera.navMode == Fly;
    status.orthographic = camera.projection == Orthographic;
    const std::size_t frameCount = document.CameraPoses().frames.size();
    if (frameCount > 0 && frameIndex >= 0) {
        status.frameNumber = frameIndex + 1;
        status.frameCount = static_cast<std::int32_t>(frameCount);
    }
    return status;
}
