// Label glyphs: the vertex is a pixel offset from the projected origin, so the
// label keeps its size on screen at any distance. No version line: it uses the
// compatibility built-ins.
uniform vec3 origin;
uniform vec2 screenSize;

void main()
{
    gl_TexCoord[0] = gl_MultiTexCoord0;
    vec4 clip = gl_ProjectionMatrix * gl_ModelViewMatrix * vec4(origin, 1.0);
    vec2 ndc = clip.xy / clip.w;
    gl_Position = vec4(ndc.x + 2.0 * gl_Vertex.x / screenSize.x, ndc.y + 2.0 * gl_Vertex.y / screenSize.y, 0.0, 1.0);
}
