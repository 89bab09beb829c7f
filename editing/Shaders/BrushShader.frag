#version 330 compatibility
// Brush cursor: one flat line colour.
uniform vec4 color;

out vec4 fragColor;

void main()
{
    fragColor = color;
}
