// Compiles but cannot link: the function it calls is defined nowhere.
vec4 labelPosition();

void main()
{
    gl_Position = labelPosition();
}
