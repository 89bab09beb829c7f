#version 330 compatibility
// The image quad, scene units being image pixels.
in vec3 vertex;
in vec2 vertexT;

uniform mat4 matrixModelViewProjection;

out vec2 texCoord;

void main()
{
    texCoord = vertexT;
    gl_Position = matrixModelViewProjection * vec4(vertex, 1.0);
}
