#pragma once

#include "io/poses/PoseReader.h"
#include "io/poses/PoseRules.h"

#include <nlohmann/json.hpp>

#include <string>

namespace testsupport {

// The camera pose file rules applied to the whole JSON tree of a text, the plain way: the
// reference that the reader, which takes the text event by event, is checked against.
inline bool ReferenceCameraPoses(const std::string& text, CameraPoseSet& set, std::string& errorText)
{
    using nlohmann::json;
    set.Clear();
    const json root = json::parse(text, nullptr, /*allow_exceptions=*/false, /*ignore_comments=*/false);
    if (root.is_discarded() || !root.is_object()) {
        errorText = "Invalid JSON format.";
        return false;
    }
    const auto frames = root.find("frames");
    if (frames == root.end() || !frames->is_array()) {
        errorText = "\"frames\" array not found.";
        return false;
    }
    const auto number = [](const json& object, const char* key) {
        const auto it = object.find(key);
        return it != object.end() && it->is_number() ? it->get<double>() : 0.0;
    };
    const double w = number(root, "w");
    const double h = number(root, "h");
    set.defaultFovY = ReadVerticalFov(root, w, h);
    for (const json& element : *frames) {
        CameraFrame frame;
        if (!element.is_object() || !element.contains("transform_matrix") ||
            !ParseTransformMatrix(element["transform_matrix"], frame.transform))
            continue;
        frame.transform.topLeftCorner<3, 3>() = NearestRotation(frame.transform.topLeftCorner<3, 3>());
        frame.fovY = ReadVerticalFov(element, w, h);
        set.frames.push_back(frame);
    }
    if (set.frames.empty()) {
        set.Clear();
        errorText = "No valid camera frames found.";
        return false;
    }
    return true;
}

}  // namespace testsupport
