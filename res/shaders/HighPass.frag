#version 330 core

// Keeps what glows. uHighPassCutoff is the brightness (largest channel, linear)
// where the bloom starts: 0 lets everything through, 1 only what is at or above
// full white. A quadratic knee of half the cutoff on either side fades pixels
// in rather than switching them on, so lines crossing the threshold do not
// flicker.
//
// The bloom buffers hold 8 bits per channel; the result is stored divided by
// kBloomRange so that glow up to twice full white survives (Mix.frag scales
// it back).

uniform sampler2D uTexSampler;
uniform float uHighPassCutoff;

in vec2 vTexCoord;
out vec4 fragColor;

const float kBloomRange = 2.0;

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

    fragColor = vec4(colour * kept / kBloomRange, 1.0);
}
