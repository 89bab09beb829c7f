#pragma once
// One fuzz input through the OBJ reader: the byte reader and the text-stream
// reader must agree on everything they return, and on success the byte writer
// must write what the text-stream writer writes.
#include <cstddef>
#include <cstdint>

#include <QString>

namespace ObjFuzz {

// Empty when both readers (and both writers) agree; otherwise what differed.
QString checkOneInput(const uint8_t* data, size_t size);

}  // namespace ObjFuzz
