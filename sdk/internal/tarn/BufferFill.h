#ifndef TARN_BUFFER_FILL_H
#define TARN_BUFFER_FILL_H

// What a receiver writes into a buffer as it fills it: the leader's and
// trailer's fields, the packet statistics and the ranges of packets that
// never arrived. A stream writes them in place; the buffer's and its image
// view's getters read them. Internal to the SDK: the bindings never read
// this header.

#include "ZuBuffer.h"
#include "ZuImage.h"
#include "ZuPixelType.h"
#include "tarn/PacketStatistics.h"

#include <vector>

namespace tarn {

struct MissingPacketRange {
    uint32_t low = 0;
    uint32_t high = 0;
};

struct BufferLeader {
    bool valid = false;
    bool extendedID = false;          // 64-bit block IDs
    bool largeLeaderTrailer = false;
    uint64_t blockID = 0;
    uint64_t timestamp = 0;           // device ticks
};

struct BufferTrailer {
    bool valid = false;
};

// Image status a receiver learns from the leader and trailer.
struct ImageFill {
    bool interlacedEven = false;
    bool interlacedOdd = false;
    bool dropped = false;
    bool dataOverrun = false;
    bool partialLineMissing = false;
};

struct BufferFill {
    BufferLeader leader;
    BufferTrailer trailer;
    ImageFill image;
    ZuResult operationResult;
    uint32_t acquiredSize = 0;        // bytes written into the buffer
    uint32_t requiredSize = 0;        // bytes the last block needed, when it did not fit
    uint32_t reachedSize = 0;         // ... as far as its own data reached (the rest is the leader's word)
    uint64_t receptionTime = 0;       // host time of arrival
    uint64_t duration = 0;
    PacketStatistics statistics;
    std::vector<MissingPacketRange> missing;
    // The memory a stream last made resident (a queue made it so, once).
    const void *resident = nullptr;
    size_t residentSize = 0;

    // Starts over for the next block; the missing list keeps its memory, so
    // a receiver that reuses buffers does not allocate per block.
    void Clear()
    {
        std::vector<MissingPacketRange> keep;
        keep.swap(missing);
        const void *wasResident = resident;
        const size_t wasResidentSize = residentSize;
        *this = BufferFill();
        keep.clear();
        missing.swap(keep);
        resident = wasResident;
        residentSize = wasResidentSize;
    }
};

// One part of a received multi-part block: where it lies in the buffer's
// memory and what the leader said of it.
struct ReceivedPart {
    uint16_t dataType = 0;            // ZuMultiPartDataType values
    uint64_t offset = 0;
    uint64_t length = 0;
    uint32_t dataFormat = 0;          // the pixel type of image parts
    uint32_t sizeX = 0;
    uint32_t sizeY = 0;
    uint32_t offsetX = 0;
    uint32_t offsetY = 0;
    uint16_t paddingXBytes = 0;       // after each line
    uint32_t sourceID = 0;
    uint32_t dataPurposeID = 0;
    uint32_t regionID = 0;
    uint32_t additionalZones = 0;
    uint32_t zoneDirectionMask = 0;
};

// How a received block lies in the buffer's memory, as its leader and
// trailer told.
struct ReceivedLayout {
    ZuPayloadType payloadType = ZuPayloadTypeImage;
    // Images: as the leader announced them. Padding is in bytes as sent.
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t offsetX = 0;
    uint32_t offsetY = 0;
    uint16_t paddingXBytes = 0;
    uint16_t paddingY = 0;
    ZuPixelType pixelType = ZuPixelUndefined;
    // Bytes of payload before the chunks (raw data length; images are
    // measured from their description).
    uint32_t dataLength = 0;
    // Chunk data that follows the payload, as the trailer told.
    uint32_t chunkLength = 0;
    uint32_t chunkLayoutID = 0;
    // Multi-part blocks.
    const ReceivedPart *parts = nullptr;
    size_t partCount = 0;
};

// Gives the buffer the payload type and views of a block received into its
// memory, without moving or reallocating it. A description that does not
// fit the memory is not made (the views stay empty), so a hostile leader
// cannot make a view reach past the buffer.
ZU_API void DescribeReceived(ZuBuffer &aBuffer, const ReceivedLayout &aLayout);

// A stream or transmitter holds the buffer from its queuing until it hands
// it back or lets go of it: while any holds it, the memory stays where it
// is (an Alloc, Attach, Detach or Reset, of the buffer, a view or a part,
// refuses, a Free does nothing), so that the thread that fills or sends it
// never reaches memory freed under it. Each hold is released once, by the
// buffer's address alone: a holder may outlive the buffer.
ZU_API void HoldMemory(ZuBuffer &aBuffer);
ZU_API void ReleaseMemory(const ZuBuffer *aBuffer);

// The fill of a buffer, written in place by the receiver that owns it.
ZU_API BufferFill &FillOf(ZuBuffer &aBuffer);
ZU_API const BufferFill &FillOf(const ZuBuffer &aBuffer);

// What a converter writes into a buffer's image view: another image,
// without padding or chunk space, over the memory the buffer holds, which
// stays as it is (allocated or attached). ZU_BUFFER_TOO_SMALL when it does
// not fit the memory or the memory also holds chunk space.
ZU_API ZuResult RedescribeImage(ZuImage &aImage, uint32_t aSizeX, uint32_t aSizeY, ZuPixelType aPixelType);

} // namespace tarn

#endif
