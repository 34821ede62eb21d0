#version 330 core

// The post chain's full-screen strip: clip-space corners in, texture
// coordinates out. Depth 0 lands at window depth 0.5, in front of a cleared
// depth buffer, so the strip survives the depth test that stays enabled.

layout(location = 0) in vec2 aPosition;

out vec2 vTexCoord;

void main()
{
    vTexCoord = aPosition * 0.5 + 0.5;
    gl_Position = vec4(aPosition, 0.0, 1.0);
}
