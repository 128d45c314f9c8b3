#ifndef TARN_STREAM_H
#define TARN_STREAM_H

// What other SDK libraries tell a stream beyond its public API.

#include "ZuStream.h"
#include "tarn/SinkList.h"

#include <memory>

namespace tarn {

// What uses a stream from another library (a pipeline over it) and must let
// go of it before the stream goes, whatever order the application releases
// them in. Told on the thread that releases the stream, before any of it is
// gone; once it returns, the user never calls the stream again.
class StreamUser
{
public:
    virtual void StreamGoes() = 0;

protected:
    ~StreamUser() = default;
};
typedef SinkList<StreamUser> StreamUsers;

// The users of a stream. A user keeps a share of the list, so that it can
// leave it after the stream went.
ZU_API std::shared_ptr<StreamUsers> UsersOf(ZuStream &aStream);

// Counts buffers a pipeline dropped because the application retrieved them
// too slowly (the stream parameter PipelineImagesDropped).
ZU_API void CountPipelineDrops(ZuStream &aStream, uint32_t aCount);

// Clears the stream's statistics (the ResetStats command).
ZU_API void ResetStreamStatistics(ZuStream &aStream);

} // namespace tarn

#endif
