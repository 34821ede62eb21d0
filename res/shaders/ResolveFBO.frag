#version 330 core

// Multisample resolve that stays high-range. A plain average lets one very
// bright sample swamp its pixel and the edges of glowing lines turn into
// stairs; weighting each sample by 1 / (1 + luma) averages them as if tone
// mapped first. Pixels whose samples agree come out as drawn.
//
// Every sample count the production uses is at least four. The first four
// samples are fetched with constant indices, which software rasterisers run
// far faster than fetches indexed by a loop counter, and weighted without a
// division per sample: each weight is the product of the other three
// denominators, and the common factor cancels in the final division. Only the
// samples past four go through the loop.

uniform sampler2DMS uTexSampler;
uniform int uSampleCount;
uniform vec2 uResolution;

out vec4 fragColor;

const int kMaxSamples = 32;

// 1 + luma: the reciprocal of a sample's weight.
float Spread(vec4 colour)
{
    return 1.0 + max(dot(colour.rgb, vec3(0.2126, 0.7152, 0.0722)), 0.0);
}

void main()
{
    ivec2 texel = ivec2(clamp(gl_FragCoord.xy, vec2(0.0), uResolution - 1.0));
    int count = clamp(uSampleCount, 1, kMaxSamples);

    vec4 sum;
    float weightSum;
    int first;
    if (count >= 4) {
        vec4 c0 = texelFetch(uTexSampler, texel, 0);
        vec4 c1 = texelFetch(uTexSampler, texel, 1);
        vec4 c2 = texelFetch(uTexSampler, texel, 2);
        vec4 c3 = texelFetch(uTexSampler, texel, 3);
        float d0 = Spread(c0);
        float d1 = Spread(c1);
        float d2 = Spread(c2);
        float d3 = Spread(c3);
        float p01 = d0 * d1;
        float p23 = d2 * d3;
        float scale = 1.0 / (p01 * p23);
        sum = ((c0 * d1 + c1 * d0) * p23 + (c2 * d3 + c3 * d2) * p01) * scale;
        weightSum = ((d0 + d1) * p23 + (d2 + d3) * p01) * scale;
        first = 4;
    } else {
        sum = vec4(0.0);
        weightSum = 0.0;
        first = 0;
    }
    for (int i = first; i < count; ++i) {
        vec4 colour = texelFetch(uTexSampler, texel, i);
        float weight = 1.0 / Spread(colour);
        sum += colour * weight;
        weightSum += weight;
    }
    fragColor = sum / weightSum;
}
