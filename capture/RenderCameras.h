#pragma once

#include "capture/CompareRenders.h"
#include "capture/FlyThrough.h"

#include <filesystem>
#include <optional>

class SceneView;
class ConsoleDesktop;

// Draws the view's current camera into an image, exactly as a still is drawn: the splats are
// ordered for this camera first. drawMilliseconds, when given, receives the draw time.
std::optional<RgbImage> DrawViewImage(ConsoleDesktop& desktop, SceneView& view, double* drawMilliseconds = nullptr);

// Renders recorded cameras through the view on its headless surface, resized as asked.
CameraRender ViewCameraRender(ConsoleDesktop& desktop, SceneView& view);

// The fly-through of orrisk-render --video, with a progress line on standard error. True when
// the video was written; the reason is on standard error otherwise.
bool RenderFlyThrough(ConsoleDesktop& desktop, SceneView& view, const CameraPoseSet& poses,
                      const std::filesystem::path& out, const FlyThroughOptions& options);

// The comparison of orrisk-render --compare: one CSV row a camera, progress on standard error.
bool RenderComparison(ConsoleDesktop& desktop, SceneView& view, const CameraPoseSet& poses,
                      const std::filesystem::path& csvPath, const CompareOptions& options);
