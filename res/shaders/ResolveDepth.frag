#version 330 core

// Depth resolve: the nearer of the first two samples of each pixel, so the
// edges of thin lines mostly keep their depth instead of the far plane behind
// them, for two fetches whatever the sample count (constant sample indices are
// what software rasterisers fetch fastest). Written to all colour channels,
// which makes the target readable as a grey picture.

uniform sampler2DMS uTexSampler;
uniform int uSampleCount;
uniform vec2 uResolution;

out vec4 fragColor;

void main()
{
    ivec2 texel = ivec2(clamp(gl_FragCoord.xy, vec2(0.0), uResolution - 1.0));
    float nearest = texelFetch(uTexSampler, texel, 0).r;
    if (uSampleCount > 1)
        nearest = min(nearest, texelFetch(uTexSampler, texel, 1).r);
    fragColor = vec4(nearest, nearest, nearest, 1.0);
}
