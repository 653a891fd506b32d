// The settings store on any file where its INI file lies: loading never fails loudly, and
// saving keeps the settings whatever else the file holds, so they read back as written.
#include "FuzzInputFile.h"
#include "settings/AppSettings.h"
#include "settings/TextFileAccess.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const FuzzInputFile file("orrisk.ini");
    const std::string& path = file.Write(data, size);
    AppSettings loaded;
    LoadSettingsFrom(path, loaded);

    AppSettings saved;
    saved.pointSize = 3.5f;
    saved.roundPoints = false;
    saved.background = Eigen::Vector3f(1.0f, 0.0f, 51.0f / 255.0f);
    saved.showAxisGizmo = false;
    saved.projection = 1;
    saved.navMode = 1;
    saved.segBlend = 0.25f;
    saved.segSeed = 4000000000u;
    if (!SaveSettingsTo(path, saved))
        return 0;  // a file that is not ours is left alone
    AppSettings reread;
    LoadSettingsFrom(path, reread);
    if (!(reread == saved))
        std::abort();
    return 0;
}
