#version 330 core

// Depth resolve: the nearest sample of each pixel, so thin lines keep their
// depth instead of being averaged into the far plane behind them. Written to
// all colour channels, which makes the target readable as a grey picture.

uniform sampler2DMS uTexSampler;
uniform int uSampleCount;
uniform vec2 uResolution;

out vec4 fragColor;

const int kMaxSamples = 32;

void main()
{
    ivec2 texel = ivec2(clamp(gl_FragCoord.xy, vec2(0.0), uResolution - 1.0));
    int count = clamp(uSampleCount, 1, kMaxSamples);

    float nearest = 1.0;
    for (int i = 0; i < count; ++i)
        nearest = min(nearest, texelFetch(uTexSampler, texel, i).r);
    fragColor = vec4(nearest, nearest, nearest, 1.0);
}
