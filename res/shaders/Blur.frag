#version 330 core

// One direction of a separable Gaussian blur, run across then down at quarter
// size. uBlurMagnitude sets the radius: the standard deviation is
// 2 * uBlurMagnitude texels of the quarter-size buffer (about 8 window pixels
// per unit); 0 leaves the picture unblurred. Past a sigma of about 2.7 texels
// the taps spread apart and rely on bilinear filtering between them, so the
// kernel keeps covering three sigmas with the same number of fetches.

uniform sampler2D uTexSampler;
uniform vec2 uTexelSize;
uniform vec2 uBlurDirection;
uniform float uBlurMagnitude;

in vec2 vTexCoord;
out vec4 fragColor;

const int kTapsPerSide = 8;

void main()
{
    float sigma = max(uBlurMagnitude, 0.0) * 2.0;
    vec4 centre = texture(uTexSampler, vTexCoord);
    if (sigma < 1e-3) {
        fragColor = centre;
        return;
    }

    float spacing = max(1.0, 3.0 * sigma / float(kTapsPerSide));
    vec2 step = uBlurDirection * uTexelSize * spacing;
    float falloff = -0.5 / (sigma * sigma);

    vec4 sum = centre;
    float weightSum = 1.0;
    for (int i = 1; i <= kTapsPerSide; ++i) {
        float distance = float(i) * spacing;
        float weight = exp(distance * distance * falloff);
        vec2 offset = step * float(i);
        sum += (texture(uTexSampler, vTexCoord + offset) +
                texture(uTexSampler, vTexCoord - offset)) * weight;
        weightSum += 2.0 * weight;
    }
    fragColor = sum / weightSum;
}
