#pragma once
// The pool helpers live with the numerics, whose solver uses them too; the mesh layer's
// files and those above it keep including them from here.
#include "numerics/ParallelChunks.h"
