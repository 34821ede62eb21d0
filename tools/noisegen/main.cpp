// Writes the grid's tileable noise texture:
//   noisegen [output.png] [size]
// Defaults: res/textures/smoothNoise.png, 256 pixels square.

#include <stb_image_write.h>

#include <cstdio>
#include <cstdlib>

#include "SmoothNoise.h"

int main(int argc, char* argv[])
{
    const char* path = argc > 1 ? argv[1] : "res/textures/smoothNoise.png";
    const int size = argc > 2 ? std::atoi(argv[2]) : 256;
    if (size < 32 || size > 8192 || size % 32 != 0) {
        std::fprintf(stderr, "noisegen: size must be a multiple of 32 from 32 to 8192\n");
        return 1;
    }
    const std::vector<uint8_t> pixels = smoothnoise::MakeImage(size);
    if (!stbi_write_png(path, size, size, 4, pixels.data(), size * 4)) {
        std::fprintf(stderr, "noisegen: cannot write %s\n", path);
        return 1;
    }
    std::printf("noisegen: wrote %s (%dx%d RGBA)\n", path, size, size);
    return 0;
}
