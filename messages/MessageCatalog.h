#pragma once

// Every sentence a user reads in a message box, the status bar or a dialog that the engine
// has to tell them, by id. The texts are the source texts of the program's translations:
// the desktop shows them through Qt's translation, the command-line tools print them as they
// stand. %1, %2, ... stand for the data a sentence is worded from.

enum class MessageId {
    FileCannotBeOpened,   // %1: the file's path
    SplatSceneFailed,
    PointCloudFailed,
    CameraPosesFailed,    // %1: why, in one line
    OpenGlUnavailable,
    PointCount,           // %1: points
    PointCountDrawn,      // %1: points drawn, %2: points in all
    SplatCount,           // %1: splats
    NavigationMode,       // %1: OrbitMode or FlyMode, %2: PerspectiveProjection or OrthographicProjection
    OrbitMode,
    FlyMode,
    PerspectiveProjection,
    OrthographicProjection,
    ModeDetail,           // %1: one more detail of the mode pane (a colour mode, EyeDomeLighting)
    ColorByRgb,
    ColorByIntensity,
    ColorByClassification,
    ColorByElevation,
    ColorByReturnNumber,
    EyeDomeLighting,
    CameraFrame,          // %1: the frame's number from 1, %2: frames in all
};

// Where a translation finds a sentence: Qt's translation context and source text.
struct MessageSource {
    const char* context;
    const char* text;
};

MessageSource SourceOf(MessageId id);
