// Writes the bundled sample scene as a Gaussian splat PLY file.
//   orrisk-make-sample OUT.ply
#include "io/splat/GaussianPlyWriter.h"
#include "samples/SampleScene.h"

#include <exception>
#include <iostream>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: orrisk-make-sample OUT.ply\n";
        return 2;
    }
    try {
        const GaussianData scene = MakeLighthouseScene();
        WriteGaussianPly(argv[1], scene);
        std::cout << "wrote " << scene.positions.size() << " splats to " << argv[1] << "\n";
    } catch (const std::exception& error) {
        std::cerr << "orrisk-make-sample: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
