#pragma once
// How one model is drawn in its own view.

struct ShadingParams {
    ShadingParams(bool textured, bool shaded, bool wireVisible)
        : textured(textured), shaded(shaded), wireVisible(wireVisible)
    {}

    bool textured;     // the model's texture is used when it has one
    bool shaded;       // lit surface rather than flat colour
    bool wireVisible;  // polygon edges drawn
};
