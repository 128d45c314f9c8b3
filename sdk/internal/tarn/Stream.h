#ifndef TARN_STREAM_H
#define TARN_STREAM_H

// What other SDK libraries tell a stream beyond its public API.

#include "ZuStream.h"

namespace tarn {

// Counts buffers a pipeline dropped because the application retrieved them
// too slowly (the stream parameter PipelineImagesDropped).
ZU_API void CountPipelineDrops(ZuStream &aStream, uint32_t aCount);

// Clears the stream's statistics (the ResetStats command).
ZU_API void ResetStreamStatistics(ZuStream &aStream);

} // namespace tarn

#endif
