#include "messages/MessageCatalog.h"

// Marks a source text for the translation tools (lupdate reads it as QT_TRANSLATE_NOOP).
#define ORRISK_TRANSLATABLE(context, text) MessageSource{context, text}

MessageSource SourceOf(MessageId id)
{
    switch (id) {
    case MessageId::FileCannotBeOpened:
        return ORRISK_TRANSLATABLE("Messages", "ファイル %1 を開けませんでした。");
    case MessageId::SplatSceneFailed:
        return ORRISK_TRANSLATABLE("Messages", "Failed to load the 3D Gaussian Splatting file.\nPlease check the file contents.");
    case MessageId::PointCloudFailed:
        return ORRISK_TRANSLATABLE(
            "Messages", "Failed to load the point cloud file.\nPlease check the file format (PLY / LAS) and its contents.");
    case MessageId::CameraPosesFailed:
        return ORRISK_TRANSLATABLE("Messages", "Failed to load the camera pose file (transforms.json).\n%1");
    case MessageId::OpenGlUnavailable:
        return ORRISK_TRANSLATABLE("Messages", "Failed to initialize OpenGL 4.5.\nPlease check your graphics driver.");
    case MessageId::PointCount:
        return ORRISK_TRANSLATABLE("Messages", "Points: %1");
    case MessageId::PointCountDrawn:
        return ORRISK_TRANSLATABLE("Messages", "Points: %1 / %2");
    case MessageId::SplatCount:
        return ORRISK_TRANSLATABLE("Messages", "Splats: %1");
    case MessageId::NavigationMode:
        return ORRISK_TRANSLATABLE("Messages", "Mode: %1 | %2");
    case MessageId::OrbitMode:
        return ORRISK_TRANSLATABLE("Messages", "Orbit");
    case MessageId::FlyMode:
        return ORRISK_TRANSLATABLE("Messages", "Fly");
    case MessageId::PerspectiveProjection:
        return ORRISK_TRANSLATABLE("Messages", "Persp");
    case MessageId::OrthographicProjection:
        return ORRISK_TRANSLATABLE("Messages", "Ortho");
    case MessageId::ModeDetail:
        return ORRISK_TRANSLATABLE("Messages", "%1 | %2");
    case MessageId::ColorByRgb:
        return ORRISK_TRANSLATABLE("Messages", "RGB");
    case MessageId::ColorByIntensity:
        return ORRISK_TRANSLATABLE("Messages", "Intensity");
    case MessageId::ColorByClassification:
        return ORRISK_TRANSLATABLE("Messages", "Classification");
    case MessageId::ColorByElevation:
        return ORRISK_TRANSLATABLE("Messages", "Elevation");
    case MessageId::ColorByReturnNumber:
        return ORRISK_TRANSLATABLE("Messages", "Return number");
    case MessageId::EyeDomeLighting:
        return ORRISK_TRANSLATABLE("Messages", "EDL");
    case MessageId::CameraFrame:
        return ORRISK_TRANSLATABLE("Messages", "Frame: %1/%2");
    }
    return ORRISK_TRANSLATABLE("Messages", "");
}
