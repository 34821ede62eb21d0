#version 330 core

// The line colour, scaled by its alpha: blending is never on, so alpha works as
// a brightness (the particle clouds fade with it; above 1 they flare). Values
// above 1 are welcome: the scene buffer is floating point and the post chain
// turns them into glow.
uniform vec4 uDiffuse;

in float vViewDepth;

out vec4 fragColor;

// Far lines keep a quarter of their strength: the horizon stays visible without
// the grid's converging lines adding up to a solid band.
const float kFadeStart = 100.0;
const float kFadeEnd = 380.0;
const float kFarStrength = 0.25;

void main()
{
    float distanceFade = mix(1.0, kFarStrength, smoothstep(kFadeStart, kFadeEnd, vViewDepth));
    fragColor = vec4(uDiffuse.rgb * max(uDiffuse.a, 0.0) * distanceFade, 1.0);
}
