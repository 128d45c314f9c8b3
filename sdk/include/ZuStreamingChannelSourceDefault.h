#ifndef ZU_STREAMING_CHANNEL_SOURCE_DEFAULT_H
#define ZU_STREAMING_CHANNEL_SOURCE_DEFAULT_H

#include "IZuSWStreamingChannelSource.h"

/// A ready-made image channel source.
///
/// It describes an image stream of a given width, height and pixel type and
/// allocates its own buffers, sized for the largest image it accepts. A
/// subclass supplies the buffer queue (QueueBuffer and RetrieveBuffer) and
/// fills the buffers.
class ZU_API ZuStreamingChannelSourceDefault : public IZuSWStreamingChannelSource
{
public:
    /// Default constructor.
    /// @param aWidth Default width of the image source; also its largest width.
    /// @param aHeight Default height of the image source; also its largest height.
    /// @param aPixelType Default pixel type of the image source.
    /// @param aBufferCount Number of buffers to allocate for streaming (at most 64 are used).
    ZuStreamingChannelSourceDefault(uint32_t aWidth = 640, uint32_t aHeight = 480,
                                    ZuPixelType aPixelType = ZuPixelMono8, size_t aBufferCount = 16);
    virtual ~ZuStreamingChannelSourceDefault();

    virtual uint32_t GetWidth() const;
    virtual uint32_t GetHeight() const;
    virtual uint32_t GetOffsetX() const;
    virtual uint32_t GetOffsetY() const;
    virtual ZuPixelType GetPixelType() const;
    virtual void GetWidthInfo(uint32_t &aMin, uint32_t &aMax, uint32_t &aInc) const;
    virtual void GetHeightInfo(uint32_t &aMin, uint32_t &aMax, uint32_t &aInc) const;
    virtual uint32_t GetChunksSize() const;
    virtual uint32_t GetPayloadSize() const;
    virtual ZuScanType GetScanType() const;
    virtual bool GetChunkModeActive() const;
    virtual bool GetChunkEnable(uint32_t aChunkID) const;
    virtual ZuResult GetSupportedPixelType(int aIndex, ZuPixelType &aPixelType) const;
    virtual ZuResult GetSupportedChunk(int aIndex, uint32_t &aID, ZuString &aName) const;
    virtual ZuResult SetWidth(uint32_t aWidth);
    virtual ZuResult SetHeight(uint32_t aHeight);
    virtual ZuResult SetOffsetX(uint32_t aOffsetX);
    virtual ZuResult SetOffsetY(uint32_t aOffsetY);
    virtual ZuResult SetPixelType(ZuPixelType aPixelType);
    virtual ZuResult SetChunkModeActive(bool aEnabled);
    virtual ZuResult SetChunkEnable(uint32_t aChunkID, bool aEnabled);
    virtual void OnOpen(const ZuString &aDestIP, uint16_t aDestPort);
    virtual void OnClose();
    virtual void OnStreamingStart();
    virtual void OnStreamingStop();
    virtual void CreateRegisters(IZuRegisterMap *aMap, IZuRegisterFactory *aFactory);
    virtual void CreateGenApiFeatures(IZuRegisterMap *aMap, IZuGenApiFactory *aFactory);
    virtual bool IsPayloadTypeSupported(ZuPayloadType aPayloadType);
    virtual void SetMultiPartAllowed(bool aAllowed);
    virtual void SetLargeLeaderTrailerEnabled(bool aEnabled, uint32_t aMaxMultiPartCount);
    virtual ZuResult SetTestPayloadFormatMode(ZuPayloadType aPayloadType);
    virtual ZuBuffer *AllocBuffer();
    virtual void FreeBuffer(ZuBuffer *aBuffer);
    virtual ZuResult GetTxNumBuffersToUse(uint32_t &aNumBuffer);
    virtual void AbortQueuedBuffers();

#ifndef SWIG
    ZuStreamingChannelSourceDefault(const ZuStreamingChannelSourceDefault &) = delete;
    ZuStreamingChannelSourceDefault &operator=(const ZuStreamingChannelSourceDefault &) = delete;

private:
    struct Impl;
    Impl *mImpl;
#endif
};

#endif
