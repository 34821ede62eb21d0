#version 330 core

// One direction of a separable Gaussian blur, run across then down at quarter
// size. uBlurMagnitude sets the radius: the standard deviation is
// 2 * uBlurMagnitude texels of the quarter-size buffer (about 8 window pixels
// per unit); 0 leaves the picture unblurred. Past a sigma of about 2.7 texels
// the taps spread apart and each is interpolated linearly between its two
// neighbouring texels, so the kernel keeps covering three sigmas with the same
// number of taps.
//
// The glow arrives fourth-root encoded (HighPass.frag): every texel is decoded
// before it is weighed, so the blur spreads light as light does, and the sum
// is encoded again with half a code of noise against banding.
//
// Texels are fetched and interpolated here rather than through texture(): the
// chain's sampler asks for maximum anisotropy, which software rasterisers
// honour at several times the cost of a plain fetch.

uniform sampler2D uTexSampler;
uniform vec2 uTexelSize;
uniform vec2 uBlurDirection;
uniform float uBlurMagnitude;

in vec2 vTexCoord;
out vec4 fragColor;

const int kTapsPerSide = 8;

ivec2 size;

// Decoded: linear glow.
vec4 Fetch(ivec2 texel)
{
    vec4 code = texelFetch(uTexSampler, clamp(texel, ivec2(0), size - 1), 0);
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
    size = textureSize(uTexSampler, 0);
    ivec2 pixel = ivec2(gl_FragCoord.xy);
    float sigma = max(uBlurMagnitude, 0.0) * 2.0;
    if (sigma < 1e-3) {
        fragColor = texelFetch(uTexSampler, pixel, 0);
        return;
    }
    vec4 centre = Fetch(pixel);

    // The direction in texels of the input: (1, 0) across, (0, 1) down.
    ivec2 axis = ivec2(round(uBlurDirection * uTexelSize * vec2(size)));
    float spacing = max(1.0, 3.0 * sigma / float(kTapsPerSide));
    float falloff = -0.5 / (sigma * sigma);

    vec4 sum = centre;
    float weightSum = 1.0;
    for (int i = 1; i <= kTapsPerSide; ++i) {
        float distance = float(i) * spacing;
        float weight = exp(distance * distance * falloff);
        int whole = int(distance);
        float fraction = distance - float(whole);
        ivec2 near = axis * whole;
        ivec2 far = near + axis;
        vec4 ahead = mix(Fetch(pixel + near), Fetch(pixel + far), fraction);
        vec4 behind = mix(Fetch(pixel - near), Fetch(pixel - far), fraction);
        sum += (ahead + behind) * weight;
        weightSum += 2.0 * weight;
    }
    fragColor = sqrt(sqrt(sum / weightSum)) + Dither(pixel);
}
