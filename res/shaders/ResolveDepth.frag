#version 330 core

// Depth resolve: the first sample of each pixel, written to all colour
// channels, which makes the target readable as a grey picture. Nothing in the
// chain reads this buffer, so it costs one fetch a frame; a reader that wants
// the edges of thin lines to keep their depth would take the nearer of several
// samples instead.

uniform sampler2DMS uTexSampler;
uniform int uSampleCount;
uniform vec2 uResolution;

out vec4 fragColor;

void main()
{
    ivec2 texel = ivec2(clamp(gl_FragCoord.xy, vec2(0.0), uResolution - 1.0));
    float depth = texelFetch(uTexSampler, texel, 0).r;
    // The single-channel target keeps only red; the alpha carries the sample
    // count's part, which keeps the uniform the chain sets alive.
    fragColor = vec4(depth, depth, depth, uSampleCount > 0 ? 1.0 : 0.0);
}
