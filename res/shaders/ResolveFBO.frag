#version 330 core

// Multisample resolve that stays high-range. A plain average lets one very
// bright sample swamp its pixel and the edges of glowing lines turn into
// stairs; weighting each sample by 1 / (1 + luma) averages them as if tone
// mapped first. Pixels whose samples agree come out exactly as drawn.

uniform sampler2DMS uTexSampler;
uniform int uSampleCount;
uniform vec2 uResolution;

out vec4 fragColor;

const int kMaxSamples = 32;

void main()
{
    ivec2 texel = ivec2(clamp(gl_FragCoord.xy, vec2(0.0), uResolution - 1.0));
    int count = clamp(uSampleCount, 1, kMaxSamples);

    vec4 sum = vec4(0.0);
    float weightSum = 0.0;
    for (int i = 0; i < count; ++i) {
        vec4 colour = texelFetch(uTexSampler, texel, i);
        float luma = max(dot(colour.rgb, vec3(0.2126, 0.7152, 0.0722)), 0.0);
        float weight = 1.0 / (1.0 + luma);
        sum += colour * weight;
        weightSum += weight;
    }
    fragColor = sum / weightSum;
}
