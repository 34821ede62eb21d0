#version 330 core

// A plain copy, also the bloom's steps down to half size and back up. Texels
// are fetched and filtered here rather than through texture(): the chain's
// sampler asks for maximum anisotropy, which software rasterisers honour at
// several times the cost of a fetch, even for a 1:1 footprint. The weights are
// those of bilinear filtering, so a copy to half size averages each 2x2 block.
// Into a target of the input's size the fraction is exactly 0 and every texel
// comes out as it is.
//
// Only the glow is ever resampled, and it is stored fourth-root encoded
// (HighPass.frag): a copy into another size decodes the texels, filters in
// linear light and encodes again with half a code of noise against banding.
// A same-size copy (the present pass) leaves the texels as they are.
//
// The strip always covers its viewport from the origin, so the pixel centre
// times the per-pixel step of the interpolated coordinate is the coordinate at
// the centre, also in a multisampled window where the interpolated value may be
// taken at a sample position.

uniform sampler2D uTexSampler;

in vec2 vTexCoord;
out vec4 fragColor;

// Glow code to linear glow: the fourth power.
vec4 Decode(vec4 code)
{
    code *= code;
    return code * code;
}

float Dither(ivec2 pixel)
{
    uint h = uint(pixel.x) * 0x8da6b343u ^ uint(pixel.y) * 0xd8163841u;
    h = (h ^ (h >> 16)) * 0x7feb352du;
    h ^= h >> 15;
    return (float(h >> 8) * (1.0 / 16777216.0) - 0.5) / 255.0;
}

void main()
{
    ivec2 size = textureSize(uTexSampler, 0);
    vec2 step = abs(vec2(dFdx(vTexCoord.x), dFdy(vTexCoord.y)));
    vec2 ratio = step * vec2(size);
    // A ratio within rounding of 1 is a same-size copy: make it exact.
    ratio = mix(ratio, vec2(1.0), lessThan(abs(ratio - 1.0), vec2(1e-3)));

    // Position in texels, with texel centres on whole numbers.
    vec2 position = gl_FragCoord.xy * ratio - 0.5;
    vec2 base = floor(position);
    vec2 f = position - base;
    ivec2 low = clamp(ivec2(base), ivec2(0), size - 1);
    ivec2 high = clamp(ivec2(base) + 1, ivec2(0), size - 1);
    vec4 a = texelFetch(uTexSampler, low, 0);
    vec4 b = texelFetch(uTexSampler, ivec2(high.x, low.y), 0);
    vec4 c = texelFetch(uTexSampler, ivec2(low.x, high.y), 0);
    vec4 d = texelFetch(uTexSampler, high, 0);
    if (ratio == vec2(1.0)) {
        fragColor = a;
        return;
    }
    a = Decode(a);
    b = Decode(b);
    c = Decode(c);
    d = Decode(d);
    fragColor = sqrt(sqrt(mix(mix(a, b, f.x), mix(c, d, f.x), f.y))) + Dither(ivec2(gl_FragCoord.xy));
}
