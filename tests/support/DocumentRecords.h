#pragma once

#include "document/Document.h"

namespace testsupport {

// The document's cloud or splats as tests read them: an empty record where the document holds
// none of that kind, so that a wrong expectation fails the test instead of crashing it.
inline const PointCloudData& CloudOf(const Document& document)
{
    static const PointCloudData none;
    const PointCloudData* cloud = document.PointCloud();
    return cloud ? *cloud : none;
}

inline const GaussianData& SplatsOf(const Document& document)
{
    static const GaussianData none;
    const GaussianData* splats = document.Splats();
    return splats ? *splats : none;
}

}  // namespace testsupport
