#version 330 compatibility

// One explicit diffusion step: known texels keep their colour, every other
// texel moves towards the mean of its eight neighbours.
uniform sampler2D image;          // the current estimate
uniform sampler2D originalImage;  // the known colours (alpha 1 where known)
uniform float alpha;
uniform vec2 pixelSize;

in vec2 texCoord;
out vec4 fragColor;

void main()
{
    vec4 original = texture(originalImage, texCoord);
    if (original.a >= 1.0) {
        fragColor = original;
        return;
    }
    vec4 estimate = texture(image, texCoord);
    vec4 sum = vec4(0.0);
    for (int i = -1; i <= 1; ++i) {
        for (int j = -1; j <= 1; ++j) {
            vec2 position = vec2(texCoord.x + float(i) * pixelSize.x, texCoord.y + float(j) * pixelSize.y);
            if (position.x >= 1.0)
                position.x = 0.99;
            if (position.x < 0.0)
                position.x = 0.0;
            if (position.y >= 1.0)
                position.y = 0.99;
            if (position.y < 0.0)
                position.y = 0.0;
            float weight = (i == 0 && j == 0) ? -8.0 : 1.0;
            sum += texture(image, position) * alpha * weight;
        }
    }
    fragColor = vec4(sum.rgb + estimate.rgb, 1.0);
}
