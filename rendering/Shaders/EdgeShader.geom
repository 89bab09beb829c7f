#version 330 compatibility
// Emits only the edges of the source polygons, never the inner edges that the
// fan triangulation added.
layout(triangles) in;
layout(line_strip, max_vertices = 6) out;

in float flag[];

void main()
{
    for (int k = 0; k < 3; ++k) {
        if (flag[k] > 0.5) {
            gl_Position = gl_in[k].gl_Position;
            EmitVertex();
            gl_Position = gl_in[(k + 1) % 3].gl_Position;
            EmitVertex();
            EndPrimitive();
        }
    }
}
