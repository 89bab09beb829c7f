#version 330 compatibility
// The image texel, alpha included, so transparent texels show what lies below.
in vec2 texCoord;

uniform sampler2D image;

out vec4 fragColor;

void main()
{
    fragColor = texture(image, texCoord);
}
