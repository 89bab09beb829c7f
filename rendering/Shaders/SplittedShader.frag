// Base colour from the texture or the front colour (back faces always take the
// back colour), optionally lit by a head light from both sides.
uniform sampler2D texture;
uniform vec4 colorFront;
uniform vec4 colorBack;
uniform bool shaded;
uniform bool useTexture;
uniform float opacity;

varying vec3 eyeNormal;
varying vec3 eyePosition;

void main()
{
    vec4 base = useTexture ? texture2D(texture, gl_TexCoord[0].st) : colorFront;
    if (!gl_FrontFacing)
        base = colorBack;

    if (!shaded) {
        gl_FragColor = vec4(base.rgb, base.a * opacity);
        return;
    }

    vec3 n = normalize(eyeNormal);
    vec3 light = vec3(0.0, 0.0, 1.0);
    float diffuse = abs(dot(n, light));
    vec3 viewDirection = normalize(eyePosition);
    float specular = 0.07 * max(dot(reflect(viewDirection, n), light), 0.0);
    vec3 color = (0.5 + 0.5 * diffuse) * base.rgb + specular;
    gl_FragColor = vec4(color, opacity);
}
