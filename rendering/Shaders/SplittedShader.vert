// Surface of the per-corner mesh renderer. No version line: it runs on the
// built-in matrices and varyings of the compatibility profile.
attribute vec3 vertexAttr;
attribute vec2 textureAttr;
attribute vec3 normalAttr;

varying vec3 eyeNormal;
varying vec3 eyePosition;

void main()
{
    gl_TexCoord[0] = vec4(textureAttr, 0.0, 1.0);
    eyeNormal = gl_NormalMatrix * normalAttr;
    eyePosition = (gl_ModelViewMatrix * vec4(vertexAttr, 1.0)).xyz;
    gl_Position = gl_ProjectionMatrix * gl_ModelViewMatrix * vec4(vertexAttr, 1.0);
}
