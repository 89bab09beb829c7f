#version 330 compatibility
uniform vec4 color;

out vec4 fragColor;

void main()
{
    fragColor = color;
}
