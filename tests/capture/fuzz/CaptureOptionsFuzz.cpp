// libFuzzer target: any bytes as ostrel-capture's arguments, split at NUL
// bytes. Parsing either refuses with a reason or gives options inside their
// limits, and the frame range resolved from them lies inside the music, with
// no overflow on the way; frame names are made without reading stray
// arguments.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "CaptureOptions.h"
#include "tests/support/FuzzInput.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    // The first four bytes give the music's length in frames (up to about an
    // hour at 1000 fps); the rest are the arguments.
    uint32_t seed;
    memcpy(&seed, data, 4);
    long totalFrames = (long)(seed % 4000000u);
    std::vector<std::string> args = splitAtNul(data + 4, size - 4);
    args.insert(args.begin(), "ostrel-capture");
    std::vector<const char*> argv;
    for (const std::string& arg : args)
        argv.push_back(arg.c_str());

    CaptureOptions options;
    std::string error;
    if (!ParseCaptureOptions((int)argv.size(), argv.data(), options, error)) {
        fuzzCheck(!error.empty());
        return 0;
    }
    if (options.help)
        return 0;
    fuzzCheck(options.width >= kMinFrameDimension && options.width <= kMaxFrameDimension);
    fuzzCheck(options.height >= kMinFrameDimension && options.height <= kMaxFrameDimension);
    fuzzCheck(options.samples >= 0 && options.samples <= 32);
    fuzzCheck(options.fps >= 1 && options.fps <= 1000);
    fuzzCheck(options.crf >= 0 && options.crf <= 51);
    fuzzCheck(!options.output.empty());

    FrameRange range;
    if (ResolveFrameRange(options, totalFrames, kProductionRowsPerSecond, range, error)) {
        fuzzCheck(range.first >= 0 && range.first < range.end && range.end <= totalFrames);
        if (options.frameCount >= 0)
            fuzzCheck(range.end - range.first <= options.frameCount);
        if (options.outputKind == OutputKind::PngPattern || options.outputKind == OutputKind::PngDirectory) {
            // The whole number, however wide the field, and no stray bytes.
            for (long n : {range.first, range.end - 1}) {
                std::string path = FramePath(options, n);
                fuzzCheck(path.find('\0') == std::string::npos);
                fuzzCheck(path.find(std::to_string(n)) != std::string::npos);
            }
        }
        (void)FrameTime(range.end - 1, options.fps);
    } else {
        fuzzCheck(error.find("holds no frame") != std::string::npos);
    }
    return 0;
}
