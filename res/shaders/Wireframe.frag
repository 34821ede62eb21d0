#version 330 core

// The line colour goes out as it is: values above 1 are welcome, the scene
// buffer is floating point and the post chain turns them into glow.
uniform vec4 uDiffuse;

out vec4 fragColor;

void main()
{
    fragColor = uDiffuse;
}
