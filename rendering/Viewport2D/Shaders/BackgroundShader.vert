#version 330 compatibility
// The checkerboard under the image: the 16-pixel checker repeats every 16
// screen pixels, starting at the image's top-left corner.
in vec3 vertex;
in vec2 vertexT;

uniform mat4 matrixModelViewProjection;
uniform vec2 imagePlaneSize;

out vec2 texCoord;

void main()
{
    texCoord = vec2(vertexT.x * imagePlaneSize.x / 16.0, (1.0 - vertexT.y) * imagePlaneSize.y / 16.0);
    gl_Position = matrixModelViewProjection * vec4(vertex, 1.0);
}
