#version 330 core

// The grade: scene and bloom together, then exposure, colour correction, tone
// mapping, vignette, flash and fade, in that order. Every control is a track:
//
//   uBloomDry         weight of the sharp scene (1 = as drawn, 0 = none)
//   uBloomWet         weight of the glow (0 = none, 1 = as bright as the part of
//                     the scene that passed the high pass; up to ~3 is useful)
//   uExposure         linear gain on the high-range mix before tone mapping:
//                     1 = neutral, 2 = one stop brighter, 0 = black
//   uColorCorrection  rgb = multiplier per channel, a = how much of it is
//                     applied (0 = untouched, 1 = fully multiplied); (0,0,0,0)
//                     and (1,1,1,a) change nothing
//   uVignette         0 = none, 1 = corners fall to black
//   uFlash            0 = none, 1 = full white (added after tone mapping)
//   uFade             1 = full picture, 0 = black (applied last)
//
// The result is tone mapped with a filmic curve and written in sRGB encoding.

uniform sampler2D uTexSampler;
uniform sampler2D uTexSampler2;
uniform float uFade;
uniform float uBloomDry;
uniform float uBloomWet;
uniform float uExposure;
uniform float uFlash;
uniform float uVignette;
uniform vec4 uColorCorrection;

in vec2 vTexCoord;
out vec4 fragColor;

// Must match HighPass.frag: the glow is stored divided by this, as its fourth
// root.
const float kBloomRange = 2.0;

// Filmic fit of the ACES reference curve: 0 stays 0, highlights roll off
// towards white instead of clipping.
vec3 ToneMap(vec3 x)
{
    return clamp((x * (2.51 * x + 0.03)) / (x * (2.43 * x + 0.59) + 0.14), 0.0, 1.0);
}

// Above its linear toe the sRGB curve, 1.055 x^(1/2.4) - 0.055, is fitted with
// two square roots, which software rasterisers run as single instructions
// where pow takes a logarithm and an exponential per channel. The fit stays
// within 0.00023 (a sixteenth of an 8-bit step) from 0.0031308 to 1.
vec3 EncodeSRGB(vec3 linear)
{
    vec3 low = linear * 12.92;
    vec3 root = sqrt(linear);
    vec3 fourthRoot = sqrt(root);
    vec3 high = 0.90071483 * root + 0.26194662 * fourthRoot - 0.12259480 * linear - 0.07176010 +
                0.03181502 * linear * root;
    return mix(low, high, step(vec3(0.0031308), linear));
}

// Half a step of 8-bit noise breaks up banding in the soft glow. An integer
// hash of the pixel gives the same noise on every driver, where one built on
// sin() follows each driver's sine, and costs less.
float Dither(ivec2 pixel)
{
    uint h = uint(pixel.x) * 0x8da6b343u ^ uint(pixel.y) * 0xd8163841u;
    h = (h ^ (h >> 16)) * 0x7feb352du;
    h ^= h >> 15;
    return (float(h >> 8) * (1.0 / 16777216.0) - 0.5) / 255.0;
}

void main()
{
    // Scene, glow and target share one size: read the texels themselves, so the
    // scene stays as sharp as it was drawn whatever the sampler's filtering.
    ivec2 pixel = ivec2(gl_FragCoord.xy);
    vec3 scene = max(texelFetch(uTexSampler, pixel, 0).rgb, vec3(0.0));
    vec3 glowCode = texelFetch(uTexSampler2, pixel, 0).rgb;
    glowCode *= glowCode;
    vec3 glow = glowCode * glowCode * kBloomRange;

    vec3 colour = (scene * uBloomDry + glow * uBloomWet) * max(uExposure, 0.0);

    float amount = clamp(uColorCorrection.a, 0.0, 1.0);
    colour = mix(colour, colour * max(uColorCorrection.rgb, vec3(0.0)), amount);

    colour = ToneMap(max(colour, vec3(0.0)));

    // Distance from the centre in pixels, over the centre's distance to a corner.
    vec2 size = vec2(textureSize(uTexSampler, 0));
    vec2 fromCentre = (vTexCoord - 0.5) * size;
    float radius = sqrt(4.0 * dot(fromCentre, fromCentre) / dot(size, size));  // 1 in the corners
    colour *= 1.0 - clamp(uVignette, 0.0, 1.0) * smoothstep(0.35, 1.0, radius);

    colour = mix(colour, vec3(1.0), clamp(uFlash, 0.0, 1.0));

    colour = EncodeSRGB(colour) + Dither(pixel);
    colour *= clamp(uFade, 0.0, 1.0);

    fragColor = vec4(clamp(colour, 0.0, 1.0), 1.0);
}
