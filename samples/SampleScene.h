#pragma once

#include "scene/GaussianData.h"

#include <cstdint>

// Segment ids of the parts of the lighthouse scene. The sea keeps id 0, which the viewer
// shows untinted. The other ids are picked so that their segment colours under the default
// seed (1) resemble the parts' own colours: with tinting on, the scene still looks like itself.
enum LighthousePart : std::uint32_t {
    kSea = 0,
    kIslet = 757,     // ochre
    kTower = 959,     // red
    kGallery = 120,   // slate blue
    kLantern = 2787,  // lamp yellow
    kRoof = 1601,     // red
    kCottage = 493,   // sand
};

inline constexpr LighthousePart kLighthouseParts[] = {kSea, kIslet, kTower, kGallery, kLantern, kRoof, kCottage};

// The sample scene shipped with the program: a red-and-white lighthouse and a keeper's
// cottage on a rocky islet in a round patch of sea, standing along +Y and facing +Z (the
// home view's side), about five units across. Some fifty thousand flat splats with
// degree-3 SH (a little sheen and glint) and one segment id per part.
//
// The record holds display values, as the splat loader produces them: opacities in
// [0, 1], scales as standard deviations, unit rotations; origin zero, bounds computed.
// The same scene comes out on every run and platform.
GaussianData MakeLighthouseScene();
