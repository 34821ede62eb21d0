#version 330 core

// The flat y = 0 lattice, lifted by the noise texture.
//   uNoiseBias       weights of the texture's r, g, b, a channels (each channel
//                    is recentred to -0.5..0.5 first, so the surface moves both
//                    up and down); all four 0 leaves the grid flat
//   uNoiseMagnitude  world units of lift for a weighted noise value of 1
//   uNoiseScroll     offset of the lookup in texture units (1 = one whole lattice)
//   uCenterGravity   0 lifts the whole grid alike; above 0 the lift fades
//                    towards the rim (a hill or pit in the middle), below 0 it
//                    fades towards the centre (a calm middle, rough corners);
//                    the larger the magnitude, the steeper the fade

layout(location = 0) in vec3 aPosition;

uniform mat4 uProjectionMatrix;
uniform mat4 uViewMatrix;
uniform mat4 uModelMatrix;

uniform sampler2D uNoiseTexSampler;
uniform vec4 uNoiseBias;
uniform float uNoiseMagnitude;
uniform vec2 uNoiseScroll;
uniform float uCenterGravity;

const float kLatticeSize = 512.0;

// Read by the shared wireframe fragment shader for its distance fade.
out float vViewDepth;

void main()
{
    vec2 plane = aPosition.xz / kLatticeSize;  // -0.5..0.5 across the lattice
    vec2 uv = plane + 0.5 + uNoiseScroll;

    vec4 noise = textureLod(uNoiseTexSampler, uv, 0.0) - 0.5;
    float height = dot(noise, uNoiseBias) * uNoiseMagnitude;

    // Radius 1 at the middle of each edge, about 1.41 in the corners.
    float radius2 = dot(plane, plane) * 4.0;
    float fromCentre = (uCenterGravity >= 0.0) ? radius2 : 2.0 - radius2;
    float falloff = exp(-abs(uCenterGravity) * fromCentre);
    height *= falloff;

    vec3 position = vec3(aPosition.x, aPosition.y + height, aPosition.z);
    vec4 viewPosition = uViewMatrix * uModelMatrix * vec4(position, 1.0);
    vViewDepth = -viewPosition.z;
    gl_Position = uProjectionMatrix * viewPosition;
}
