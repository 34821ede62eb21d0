#version 330 core

layout(location = 0) in vec3 aPosition;

uniform mat4 uProjectionMatrix;
uniform mat4 uViewMatrix;
uniform mat4 uModelMatrix;

// Distance from the eye along the view axis; the fragment shader fades far
// lines so that dense distant geometry does not pile up into a shimmering band.
out float vViewDepth;

void main()
{
    vec4 viewPosition = uViewMatrix * uModelMatrix * vec4(aPosition, 1.0);
    vViewDepth = -viewPosition.z;
    gl_Position = uProjectionMatrix * viewPosition;
}
