#version 330 core

// A plain copy. When the target matches the input pixel for pixel the texel is
// fetched as it is: some drivers' anisotropic filtering softens even a 1:1
// lookup. Into a buffer of another size the chain's linear sampler is used, so
// a copy to half size averages each 2x2 block, which is how the bloom steps
// down and up.
//
// The strip always covers its viewport from the origin, so the pixel centre
// times the per-pixel step of the interpolated coordinate is the coordinate at
// the centre, also in a multisampled window where the interpolated value may be
// taken at a sample position.

uniform sampler2D uTexSampler;

in vec2 vTexCoord;
out vec4 fragColor;

void main()
{
    vec2 step = abs(vec2(dFdx(vTexCoord.x), dFdy(vTexCoord.y)));
    vec2 ratio = step * vec2(textureSize(uTexSampler, 0));
    if (all(lessThan(abs(ratio - 1.0), vec2(1e-3))))
        fragColor = texelFetch(uTexSampler, ivec2(gl_FragCoord.xy), 0);
    else
        fragColor = texture(uTexSampler, gl_FragCoord.xy * step);
}
