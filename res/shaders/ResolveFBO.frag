#version 330 core

// Multisample resolve that stays high-range. A plain average lets one very
// bright sample swamp its pixel and the edges of glowing lines turn into
// stairs; weighting each sample by 1 / (1 + luma) averages them as if tone
// mapped first. Pixels whose samples agree come out exactly as drawn.
//
// Every sample count the production uses is at least four. The first four
// samples are fetched with constant indices, which software rasterisers run
// far faster than fetches indexed by a loop counter; only the rest go through
// a loop.

uniform sampler2DMS uTexSampler;
uniform int uSampleCount;
uniform vec2 uResolution;

out vec4 fragColor;

const int kMaxSamples = 32;

vec4 sum = vec4(0.0);
float weightSum = 0.0;

void Accumulate(ivec2 texel, int i)
{
    vec4 colour = texelFetch(uTexSampler, texel, i);
    float luma = max(dot(colour.rgb, vec3(0.2126, 0.7152, 0.0722)), 0.0);
    float weight = 1.0 / (1.0 + luma);
    sum += colour * weight;
    weightSum += weight;
}

void main()
{
    ivec2 texel = ivec2(clamp(gl_FragCoord.xy, vec2(0.0), uResolution - 1.0));

    int count = clamp(uSampleCount, 1, kMaxSamples);
    int first = 0;
    if (count >= 4) {
        Accumulate(texel, 0);
        Accumulate(texel, 1);
        Accumulate(texel, 2);
        Accumulate(texel, 3);
        first = 4;
    }
    for (int i = first; i < count; ++i) Accumulate(texel, i);
    fragColor = sum / weightSum;
}
