#include "io/core/FileName.h"

#include <gtest/gtest.h>

#include <string>

TEST(FileName, ExtensionIsWhatFollowsTheLastDotOfTheNameLowerCased)
{
    struct Case {
        const char* path;
        const char* name;
        const char* extension;
    };
    const Case cases[] = {
        {"/data/Cloud.PLY", "cloud.ply", "ply"},
        {"Cloud.Ply", "cloud.ply", "ply"},
        {"/data/scan.v2/points", "points", ""},  // a dot in a folder name does not count
        {"/data/scan.v2/points.laz", "points.laz", "laz"},
        {"/data/points", "points", ""},
        {"/data/points.", "points.", ""},
        {"/data/.hidden", ".hidden", "hidden"},
        {"/data/scene.compressed.ply", "scene.compressed.ply", "ply"},
        {"/data/ÄRGER.SPZ", "Ärger.spz", "spz"},  // only A-Z are lower-cased
        {"", "", ""},
        {"/data/", "", ""},
        // A URL: the last part of its path, without the query or the fragment.
        {"https://example.org/tiles/Cloud.COPC.LAZ?token=a.b#part.c", "cloud.copc.laz", "laz"},
        {"https://example.org/ept.json", "ept.json", "json"},
        {"https://example.org/a.b/points?x=1.2", "points", ""},
        {"https://example.org", "", ""},
        {"https://example.org?name=cloud.ply", "", ""},
        {"file:///data/Cloud.ply", "cloud.ply", "ply"},
        // Not a URL: a "://" that does not follow a scheme leaves the path as it is.
        {"/data/a://b/cloud.ply?", "cloud.ply?", "ply?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(LowerCaseFileName(c.path), c.name);
        EXPECT_EQ(FileExtension(c.path), c.extension);
    }
}
