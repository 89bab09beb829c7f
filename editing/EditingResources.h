#pragma once
// The editing shaders are compiled into this static library as Qt resources;
// they must be registered once before the first program is built. Every class
// here that loads a shader calls this itself; calling it again does nothing.
namespace Viewport3D {

void initEditingResources();

}  // namespace Viewport3D
