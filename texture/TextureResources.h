#pragma once
// The hole-filling shaders are compiled into this static library as Qt
// resources; they must be registered once before the first program is built.
// The extrapolator calls this itself; calling it again does nothing.
namespace ColorExtrapolation {

void initTextureResources();

}  // namespace ColorExtrapolation
