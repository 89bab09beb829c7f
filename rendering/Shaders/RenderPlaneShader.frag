#version 330 compatibility
// Lays the front layer over the back layer by the front's alpha (or, when
// composing by depth and the back is nearer, the back over the front).
in vec2 texCoord;

uniform sampler2D imageBack;
uniform sampler2D imageFront;
uniform sampler2D depthBack;
uniform sampler2D depthFront;
uniform float composeDepth;

out vec4 fragColor;

void main()
{
    vec4 back = texture(imageBack, texCoord);
    vec4 front = texture(imageFront, texCoord);
    float db = texture(depthBack, texCoord).r;
    float df = texture(depthFront, texCoord).r;

    vec3 rgb;
    if (db > df || composeDepth < 0.5)
        rgb = front.rgb * front.a + back.rgb * (1.0 - front.a);
    else
        rgb = back.rgb * back.a + front.rgb * (1.0 - back.a);
    fragColor = vec4(rgb, front.a + back.a);
}
