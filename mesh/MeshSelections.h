#pragma once
// What the other layers do with a mesh record beyond loading and saving it, one header per
// concern: masks and index lists, per-corner arrays, index remapping, transformed copies,
// polygroup colours, and counting, flattening and picking by index.
#include "mesh/CornerArrays.h"
#include "mesh/IndexContainers.h"
#include "mesh/IndexRemapping.h"
#include "mesh/MeshColours.h"
#include "mesh/MeshMasks.h"
#include "mesh/MeshTransforms.h"
