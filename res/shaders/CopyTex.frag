#version 330 core

// A plain copy. With the chain's linear sampler a copy into a buffer half the
// size averages each 2x2 block, which is how the bloom steps down and up.

uniform sampler2D uTexSampler;

in vec2 vTexCoord;
out vec4 fragColor;

void main()
{
    fragColor = texture(uTexSampler, vTexCoord);
}
