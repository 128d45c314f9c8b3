#ifndef ZU_BUFFER_CONVERTER_H
#define ZU_BUFFER_CONVERTER_H

#include "ZuBaseApi.h"
#include "ZuResult.h"
#include "ZuPixelType.h"
#include "ZuBufferReceiveTypes.h"

#include <memory>

class ZuBuffer;
class IZuImage;

/// Per-channel gain and offset applied to the colour levels a converter
/// writes: each level x of a channel becomes gain x + offset, rounded and
/// limited to the destination's range. The offsets count levels of the
/// destination (0-255 for 8-bit channels, 0-65535 for 16-bit ones).
///
/// A converter given the filter follows later changes of its gains and
/// offsets, and keeps the values it needs even if the filter is destroyed
/// while assigned.
class ZU_API ZuBufferConverterRGBFilter
{
public:
    /// Builds a filter that leaves the image unchanged: gains 1, offsets 0.
    ZuBufferConverterRGBFilter();

    /// Destroys the filter; a converter it is assigned to keeps its values.
    ~ZuBufferConverterRGBFilter();

    /// Returns the gain of the red channel.
    double GetGainR() const;
    /// Returns the gain of the green channel.
    double GetGainG() const;
    /// Returns the gain of the blue channel.
    double GetGainB() const;

    /// Sets the gain of the red channel.
    /// @param aValue Factor applied to every red level.
    void SetGainR(double aValue);
    /// Sets the gain of the green channel.
    /// @param aValue Factor applied to every green level.
    void SetGainG(double aValue);
    /// Sets the gain of the blue channel.
    /// @param aValue Factor applied to every blue level.
    void SetGainB(double aValue);

    /// Returns the offset of the red channel.
    int32_t GetOffsetR() const;
    /// Returns the offset of the green channel.
    int32_t GetOffsetG() const;
    /// Returns the offset of the blue channel.
    int32_t GetOffsetB() const;

    /// Sets the offset of the red channel.
    /// @param aValue Levels added to every red level after the gain.
    void SetOffsetR(int32_t aValue);
    /// Sets the offset of the green channel.
    /// @param aValue Levels added to every green level after the gain.
    void SetOffsetG(int32_t aValue);
    /// Sets the offset of the blue channel.
    /// @param aValue Levels added to every blue level after the gain.
    void SetOffsetB(int32_t aValue);

    /// Computes white-balance gains from a sample image: with Ravg, Gavg
    /// and Bavg the mean red, green and blue levels of the sample and Max
    /// the largest of them, the gains become Max/Ravg, Max/Gavg and
    /// Max/Bavg. The offsets are unchanged. Works best on an image with an
    /// even mix of dark and light tones and of colours.
    /// @param aBuffer Sample image: any pixel type the converter turns into
    ///   RGB8 or RGB16.
    /// @return ZU_OK; ZU_INVALID_PARAMETER for a null buffer, a buffer
    ///   without an image, a pixel type the converter cannot turn into RGB,
    ///   or a sample in which a channel has a mean of 0 (the gains are then
    ///   unchanged); ZU_NOT_ENOUGH_MEMORY when a band of converted lines
    ///   does not fit in memory.
    ZuResult WhiteBalance(ZuBuffer *aBuffer);

    /// Sets the gains back to 1 and the offsets to 0.
    void Reset();

private:
    // Shared with the conversions that use the filter.
    friend class ZuBufferConverter;
    ZuBufferConverterRGBFilter(const ZuBufferConverterRGBFilter &) = delete;
    ZuBufferConverterRGBFilter &operator=(const ZuBufferConverterRGBFilter &) = delete;
    struct State;
    std::shared_ptr<State> mState;
};

/// Converts images into another pixel type, with Bayer and bi-colour
/// interpolation, YUV decoding, unpacking of packed formats, channel
/// reordering and an optional RGB filter.
///
/// Conversions supported (IsConversionSupported tells for a pair):
/// - Mono8, Mono10, Mono12, Mono14, Mono16 and the packed Mono10Packed,
///   Mono12Packed (GigE Vision layout), Mono10p, Mono12p, Mono14p (bit
///   stream, least significant bit first) to Mono8, Mono16, RGB8, BGR8,
///   RGBa8 and BGRa8;
/// - Bayer GR, RG, GB and BG in 8, 10, 12, 14 and 16 bits and in their
///   packed forms (10Packed, 12Packed, 10p, 12p, 14p) to RGB8, BGR8, RGBa8,
///   BGRa8, and for more than 8 bits also to RGB16, BGR16, RGBa16, BGRa16,
///   through the converter's Bayer filter; the image needs 2 columns and 2
///   lines at least;
/// - BiColorRGBG and BiColorBGRG in 8, 10, 12 bits and 10p, 12p to the
///   same colour types, through the converter's bi-colour filter;
/// - YUV411_8_UYYVYY, YUV422_8_UYVY, YUV422_8 (YUYV) and YUV8_UYV (full
///   range, ITU-R BT.601 weights) to RGB8, BGR8, RGBa8, BGRa8; lines of the
///   subsampled types hold whole groups of pixels (width plus padding a
///   multiple of 2, or of 4 for 4:1:1);
/// - RGB8, BGR8, RGBa8, BGRa8 among themselves, and RGB, BGR, RGBa, BGRa
///   in 10, 12, 14 and 16 bits to those and to RGB16, BGR16, RGBa16, BGRa16.
///
/// Levels change depth by shifting: a 12-bit level becomes 8 bits by
/// dropping its 4 low bits and 16 bits by gaining 4 zero bits; levels above
/// the source's depth count as its largest level. Alpha is written fully
/// opaque. The RGB filter applies to every colour destination.
///
/// The work is split by lines over the converter's threads, which it keeps
/// from one conversion to the next; the result does not depend on their
/// number. Conversions on one converter run one after another.
class ZU_API ZuBufferConverter
{
public:
    /// Builds a converter.
    /// @param aMaxNumberOfThreads Most threads a conversion uses; 0 or
    ///   less for one per processor. Threads have no processor affinity.
    ZuBufferConverter(int32_t aMaxNumberOfThreads = -1);

    /// Stops the conversion threads and destroys the converter.
    ~ZuBufferConverter();

    /// Tells whether the converter converts one pixel type into another.
    /// @param aSource Pixel type of the source image.
    /// @param aDestination Pixel type of the destination.
    /// @return true when Convert supports the pair.
    static bool IsConversionSupported(ZuPixelType aSource, ZuPixelType aDestination);

    /// Converts the image of a buffer into the destination's pixel type.
    ///
    /// The caller sets the destination's pixel type beforehand (through its
    /// image). A destination whose image has the source's width and height
    /// and that pixel type is written in place, padding kept. Otherwise the
    /// image is described anew over the destination's memory when it is
    /// large enough, or else re-allocated (with aReallocIfNeeded).
    /// @param aSource Buffer holding the source image.
    /// @param aDestination Buffer that receives the converted image.
    /// @param aReallocIfNeeded Whether the destination may be re-allocated
    ///   when its memory is too small.
    /// @param aFlipY Whether to write the lines bottom to top.
    /// @return ZU_OK; ZU_INVALID_PARAMETER for a null source or destination,
    ///   a source without an image or whose memory is smaller than its
    ///   description, a destination without an image view, whose pixel type
    ///   is not set or whose memory overlaps the source, a pair of pixel
    ///   types that is not supported, or an image size the pair does not
    ///   allow; ZU_GENERIC_ERROR for a destination too small that may not
    ///   be re-allocated or whose memory is not the buffer's own, or when
    ///   memory cannot be allocated.
    ZuResult Convert(const ZuBuffer *aSource, ZuBuffer *aDestination, bool aReallocIfNeeded = true, bool aFlipY = false);

    /// Converts an image into the destination's pixel type; see the buffer
    /// form for the rules and results.
    /// @param aSource The source image.
    /// @param aDestination Buffer that receives the converted image.
    /// @param aReallocIfNeeded Whether the destination may be re-allocated
    ///   when its memory is too small.
    /// @param aFlipY Whether to write the lines bottom to top.
    /// @return As the buffer form.
    ZuResult Convert(const IZuImage *aSource, ZuBuffer *aDestination, bool aReallocIfNeeded = true, bool aFlipY = false);

    /// Returns the interpolation used for Bayer sources.
    ZuBayerFilterType GetBayerFilter() const;

    /// Sets the interpolation used for Bayer sources; other sources ignore it.
    /// @param aFilter ZuBayerFilterSimple or ZuBayerFilter3X3 (the default).
    /// @return ZU_OK, or ZU_INVALID_PARAMETER for another value.
    ZuResult SetBayerFilter(ZuBayerFilterType aFilter);

    /// Returns the interpolation used for bi-colour sources.
    ZuBiColorFilterType GetBiColorFilter() const;

    /// Sets the interpolation used for bi-colour sources; other sources ignore it.
    /// @param aFilter ZuBiColorFilter1X2 or ZuBiColorFilter1X3 (the default).
    /// @return ZU_OK, or ZU_INVALID_PARAMETER for another value.
    ZuResult SetBiColorFilter(ZuBiColorFilterType aFilter);

    /// Removes the RGB filter: later conversions write the levels unchanged.
    /// @return ZU_OK.
    ZuResult ResetRGBFilter();

    /// Assigns an RGB filter to later conversions. The converter follows
    /// the filter's later changes and keeps its values if it is destroyed.
    /// @param aFilter The filter.
    /// @return ZU_OK.
    ZuResult SetRGBFilter(ZuBufferConverterRGBFilter &aFilter);

    /// Returns the priority of the conversion threads.
    uint32_t GetConversionThreadsPriority() const;

    /// Sets the priority of all conversion threads of the converter. On
    /// Linux 0 is the normal scheduler and 1 to 99 the real-time (FIFO)
    /// priorities, 99 highest; a process not allowed real-time scheduling
    /// keeps its threads on the normal scheduler. Changing priorities may
    /// affect the stability of the system.
    /// @param aPriority 0 to 99.
    /// @return ZU_OK; ZU_INVALID_PARAMETER above 99; ZU_THREAD_ERROR when
    ///   the system refuses the priority for another reason.
    ZuResult SetConversionThreadsPriority(uint32_t aPriority);

private:
    ZuBufferConverter(const ZuBufferConverter &) = delete;
    ZuBufferConverter &operator=(const ZuBufferConverter &) = delete;
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

#endif
