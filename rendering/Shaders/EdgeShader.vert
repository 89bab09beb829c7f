#version 330 compatibility
// Polygon edges: every corner carries the flag of the edge to the next corner.
in vec3 vertex;
in float edgeFlag;

out float flag;

void main()
{
    flag = edgeFlag;
    gl_Position = gl_ModelViewProjectionMatrix * vec4(vertex, 1.0);
}
