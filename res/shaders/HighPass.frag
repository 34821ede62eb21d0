#version 330 core

// Keeps what glows. uHighPassCutoff is the brightness (largest channel, linear)
// where the bloom starts: 0 lets everything through, 1 only what is at or above
// full white. A quadratic knee of half the cutoff on either side fades pixels
// in rather than switching them on, so lines crossing the threshold do not
// flicker.
//
// The bloom buffers hold 8 bits per channel. The glow is stored divided by
// kBloomRange, so that up to twice full white survives, and as its fourth
// root, so that the 8 bits are spent where the eye needs them: one code
// changes the glow by about 4 / code, 9% at a thousandth of the range where a
// linear code was four times the glow itself, and a glow that the grade
// later multiplies several times over still falls off without visible bands.
// Blur.frag and CopyTex.frag filter it in linear light; Mix.frag decodes it.
// Half a code of noise where the code is made breaks up what banding is left.

uniform sampler2D uTexSampler;
uniform float uHighPassCutoff;

in vec2 vTexCoord;
out vec4 fragColor;

const float kBloomRange = 2.0;

// Half a code of 8-bit noise from an integer hash of the pixel: the same on
// every driver, and cheap. Black stays black (the noise rounds away at 0).
float Dither(ivec2 pixel)
{
    uint h = uint(pixel.x) * 0x8da6b343u ^ uint(pixel.y) * 0xd8163841u;
    h = (h ^ (h >> 16)) * 0x7feb352du;
    h ^= h >> 15;
    return (float(h >> 8) * (1.0 / 16777216.0) - 0.5) / 255.0;
}

void main()
{
    // Input and target have the same size: read the texel itself.
    vec3 colour = max(texelFetch(uTexSampler, ivec2(gl_FragCoord.xy), 0).rgb, vec3(0.0));
    float cutoff = max(uHighPassCutoff, 0.0);
    float brightness = max(colour.r, max(colour.g, colour.b));

    // kept = max(soft^2 / (4 knee), brightness - cutoff) / brightness, with
    // both divisions folded into one.
    float knee = cutoff * 0.5 + 1e-4;
    float soft = clamp(brightness - cutoff + knee, 0.0, 2.0 * knee);
    float fourKnee = 4.0 * knee;
    float kept = max(soft * soft, (brightness - cutoff) * fourKnee) / (fourKnee * max(brightness, 1e-4));

    fragColor = vec4(sqrt(sqrt(colour * kept / kBloomRange)) + Dither(ivec2(gl_FragCoord.xy)), 1.0);
}
