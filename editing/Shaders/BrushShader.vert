#version 330 compatibility
// Brush cursor: the unit circle placed by one matrix.
in vec3 vertex;

uniform mat4 matrixModelViewProjection;

void main()
{
    gl_Position = matrixModelViewProjection * vec4(vertex, 1.0);
}
