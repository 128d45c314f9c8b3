#ifndef IZU_STREAMING_CHANNEL_SOURCE_H
#define IZU_STREAMING_CHANNEL_SOURCE_H

#include "ZuBaseApi.h"
#include "ZuResult.h"
#include "ZuString.h"
#include "ZuPixelType.h"
#include "ZuPayloadType.h"
#include "ZuSoftDeviceTypes.h"

class IZuRegisterMap;
class IZuRegisterFactory;
class IZuGenApiFactory;

/// Describes one stream channel of a software GigE Vision device.
///
/// The device asks the source, while it starts, which pixel types, chunks,
/// sizes and payload types the channel offers, and later forwards the
/// controller's changes and stream events to it.
class ZU_API IZuStreamingChannelSource
{
public:
    virtual ~IZuStreamingChannelSource() {}

    /// Returns the current image width in pixels.
    virtual uint32_t GetWidth() const = 0;
    /// Returns the current image height in lines.
    virtual uint32_t GetHeight() const = 0;
    /// Returns the current horizontal offset in pixels.
    virtual uint32_t GetOffsetX() const = 0;
    /// Returns the current vertical offset in lines.
    virtual uint32_t GetOffsetY() const = 0;
    /// Returns the current pixel type.
    virtual ZuPixelType GetPixelType() const = 0;
    /// Returns the minimum, maximum and increment of the Width feature.
    /// @param aMin Minimum width.
    /// @param aMax Maximum width.
    /// @param aInc Width increment.
    virtual void GetWidthInfo(uint32_t &aMin, uint32_t &aMax, uint32_t &aInc) const = 0;
    /// Returns the minimum, maximum and increment of the Height feature.
    /// @param aMin Minimum height.
    /// @param aMax Maximum height.
    /// @param aInc Height increment.
    virtual void GetHeightInfo(uint32_t &aMin, uint32_t &aMax, uint32_t &aInc) const = 0;
    /// Returns the size of the chunk data as configured: every chunk counts
    /// 8 bytes (its ID and length) on top of its data.
    virtual uint32_t GetChunksSize() const = 0;
    /// Returns the payload size in bytes, or 0 to have it inferred from the
    /// width, height, pixel type and chunk data size.
    virtual uint32_t GetPayloadSize() const = 0;
    /// Returns the scan type of the channel.
    virtual ZuScanType GetScanType() const = 0;
    /// Tests whether chunk mode is active.
    virtual bool GetChunkModeActive() const = 0;
    /// Tests whether a chunk is enabled.
    /// @param aChunkID Chunk ID.
    virtual bool GetChunkEnable(uint32_t aChunkID) const = 0;
    /// Returns a supported pixel type: index 0, 1, ... until a result other than ZU_OK.
    /// @param aIndex Index of the pixel type.
    /// @param aPixelType Pixel type.
    virtual ZuResult GetSupportedPixelType(int aIndex, ZuPixelType &aPixelType) const = 0;
    /// Returns a supported chunk: index 0, 1, ... until a result other than ZU_OK.
    /// @param aIndex Index of the chunk.
    /// @param aID Chunk ID.
    /// @param aName Chunk name, beginning with "Chunk".
    virtual ZuResult GetSupportedChunk(int aIndex, uint32_t &aID, ZuString &aName) const = 0;
    /// Returns the largest stream packet size the channel supports; ZU_NOT_IMPLEMENTED keeps the default of 9000 bytes.
    /// @param aMaximum Largest packet size.
    virtual ZuResult GetGevSCPSPacketSizeInfo(uint32_t &aMaximum) const { (void)aMaximum; return ZuResult(ZU_NOT_IMPLEMENTED); }

    /// The controller changed the width; ZU_OK accepts it.
    /// @param aWidth New width.
    virtual ZuResult SetWidth(uint32_t aWidth) = 0;
    /// The controller changed the height; ZU_OK accepts it.
    /// @param aHeight New height.
    virtual ZuResult SetHeight(uint32_t aHeight) = 0;
    /// The controller changed the horizontal offset; ZU_OK accepts it.
    /// @param aOffsetX New offset.
    virtual ZuResult SetOffsetX(uint32_t aOffsetX) = 0;
    /// The controller changed the vertical offset; ZU_OK accepts it.
    /// @param aOffsetY New offset.
    virtual ZuResult SetOffsetY(uint32_t aOffsetY) = 0;
    /// The controller changed the pixel type; ZU_OK accepts it.
    /// @param aPixelType New pixel type.
    virtual ZuResult SetPixelType(ZuPixelType aPixelType) = 0;
    /// The controller changed chunk mode; ZU_OK accepts it.
    /// @param aEnabled New chunk mode.
    virtual ZuResult SetChunkModeActive(bool aEnabled) = 0;
    /// The controller enabled or disabled a chunk; ZU_OK accepts it.
    /// @param aChunkID Chunk ID.
    /// @param aEnabled New state of the chunk.
    virtual ZuResult SetChunkEnable(uint32_t aChunkID, bool aEnabled) = 0;

    /// The channel was opened towards a destination.
    /// @param aDestIP Destination IP address, dotted-decimal.
    /// @param aDestPort Destination UDP port.
    virtual void OnOpen(const ZuString &aDestIP, uint16_t aDestPort) = 0;
    /// The channel was closed.
    virtual void OnClose() = 0;
    /// The controller started streaming on the channel.
    virtual void OnStreamingStart() = 0;
    /// The controller stopped streaming on the channel.
    virtual void OnStreamingStop() = 0;

    /// Creates the source's own registers.
    /// @param aMap The device's register map.
    /// @param aFactory Register factory, valid during the call.
    virtual void CreateRegisters(IZuRegisterMap *aMap, IZuRegisterFactory *aFactory) { (void)aMap; (void)aFactory; }
    /// Declares the source's own GenApi features.
    /// @param aMap The device's register map.
    /// @param aFactory GenApi factory, valid during the call.
    virtual void CreateGenApiFeatures(IZuRegisterMap *aMap, IZuGenApiFactory *aFactory) { (void)aMap; (void)aFactory; }
    /// Tests whether the source can stream a payload type.
    /// @param aPayloadType Payload type.
    virtual bool IsPayloadTypeSupported(ZuPayloadType aPayloadType) { (void)aPayloadType; return false; }
    /// The controller allowed (not forced) multi-part transmission.
    /// @param aAllowed Whether multi-part is allowed.
    virtual void SetMultiPartAllowed(bool aAllowed) { (void)aAllowed; }
    /// The controller enabled large leader and trailer packets.
    /// @param aEnabled Whether they are enabled.
    /// @param aMaxMultiPartCount Number of parts the channel allows.
    virtual void SetLargeLeaderTrailerEnabled(bool aEnabled, uint32_t aMaxMultiPartCount) { (void)aEnabled; (void)aMaxMultiPartCount; }
    /// Sets the source up to stream a test payload by itself; ZuPayloadTypeNone ends it.
    /// @param aPayloadType Payload type.
    virtual ZuResult SetTestPayloadFormatMode(ZuPayloadType aPayloadType) { (void)aPayloadType; return ZuResult(ZU_NOT_SUPPORTED); }
};

#endif
