#include "messages/StatusWording.h"

#include <string>

namespace {

MessageId ColorModeMessage(ColorMode mode)
{
    switch (mode) {
    case ColorMode::Rgb: return MessageId::ColorByRgb;
    case ColorMode::Intensity: return MessageId::ColorByIntensity;
    case ColorMode::Classification: return MessageId::ColorByClassification;
    case ColorMode::Elevation: return MessageId::ColorByElevation;
    case ColorMode::ReturnNumber: return MessageId::ColorByReturnNumber;
    }
    return MessageId::ColorByRgb;
}

}  // namespace

std::string WordColorMode(ColorMode mode, const TranslateMessage& translate)
{
    return Word(ColorModeMessage(mode), {}, translate);
}

StatusPaneTexts WordStatus(const ViewStatus& status, const TranslateMessage& translate)
{
    StatusPaneTexts texts;
    const std::string items = std::to_string(status.items);
    if (status.scene == SceneKind::GaussianSplats)
        texts.count = Word(MessageId::SplatCount, {items}, translate);
    else if (status.drawnPoints)
        texts.count = Word(MessageId::PointCountDrawn, {std::to_string(*status.drawnPoints), items}, translate);
    else if (status.scene == SceneKind::PointCloud)
        texts.count = Word(MessageId::PointCount, {items}, translate);

    texts.mode = Word(MessageId::NavigationMode,
                      {Word(status.fly ? MessageId::FlyMode : MessageId::OrbitMode, {}, translate),
                       Word(status.orthographic ? MessageId::OrthographicProjection : MessageId::PerspectiveProjection,
                            {}, translate)},
                      translate);
    if (status.colorMode)
        texts.mode = Word(MessageId::ModeDetail, {texts.mode, WordColorMode(*status.colorMode, translate)}, translate);
    if (status.eyeDomeLighting)
        texts.mode = Word(MessageId::ModeDetail, {texts.mode, Word(MessageId::EyeDomeLighting, {}, translate)}, translate);

    if (status.frameNumber > 0)
        texts.frame =
            Word(MessageId::CameraFrame, {std::to_string(status.frameNumber), std::to_string(status.frameCount)}, translate);
    return texts;
}
