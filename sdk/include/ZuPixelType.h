#ifndef ZU_PIXEL_TYPE_H
#define ZU_PIXEL_TYPE_H

#include <cstdint>

/// @file
/// Pixel-format codes and the masks that take them apart.
///
/// A code packs three fields into 32 bits: bits 31-24 are flags (mono,
/// colour, custom), bits 23-16 the number of bits one pixel occupies, and
/// bits 15-0 the format's identifier. The bit count is what buffer sizes
/// and array shapes are computed from, so it is part of the code rather
/// than looked up in a table.

/// @name Pixel-type flags and field masks
/// The masks are macros, not enumerators, so that they combine with plain
/// integers without conversions. ZUPIXELCUSTOM and ZUPIXELCOLORMASK do not
/// fit a signed 32-bit int; wherever a pixel type travels as one (the
/// Python bindings among them) they are seen as negative numbers, and a
/// custom code must be passed that way too.
/// @{
#define ZUPIXELMONO         0x01000000 ///< Flag: one component per pixel (mono, Bayer, single channel, data).
#define ZUPIXELRGB          0x02000000 ///< Flag: several components per pixel.
#define ZUPIXELCOLOR        ZUPIXELRGB ///< Same flag as ZUPIXELRGB; reads better for YUV and YCbCr.
#define ZUPIXELCUSTOM       0x80000000 ///< Flag: a device-specific format outside the standard list.
#define ZUPIXELCOLORMASK    0xFF000000 ///< Selects the flag byte.
#define ZUPIXEL1BIT         0x00010000 ///< One pixel occupies 1 bit.
#define ZUPIXEL2BIT         0x00020000 ///< One pixel occupies 2 bits.
#define ZUPIXEL4BIT         0x00040000 ///< One pixel occupies 4 bits.
#define ZUPIXEL8BIT         0x00080000 ///< One pixel occupies 8 bits.
#define ZUPIXEL10BIT        0x000A0000 ///< One pixel occupies 10 bits.
#define ZUPIXEL12BIT        0x000C0000 ///< One pixel occupies 12 bits.
#define ZUPIXEL14BIT        0x000E0000 ///< One pixel occupies 14 bits.
#define ZUPIXEL16BIT        0x00100000 ///< One pixel occupies 16 bits.
#define ZUPIXEL20BIT        0x00140000 ///< One pixel occupies 20 bits.
#define ZUPIXEL24BIT        0x00180000 ///< One pixel occupies 24 bits.
#define ZUPIXEL30BIT        0x001E0000 ///< One pixel occupies 30 bits.
#define ZUPIXEL32BIT        0x00200000 ///< One pixel occupies 32 bits.
#define ZUPIXEL36BIT        0x00240000 ///< One pixel occupies 36 bits.
#define ZUPIXEL40BIT        0x00280000 ///< One pixel occupies 40 bits.
#define ZUPIXEL48BIT        0x00300000 ///< One pixel occupies 48 bits.
#define ZUPIXEL64BIT        0x00400000 ///< One pixel occupies 64 bits.
#define ZUPIXEL96BIT        0x00600000 ///< One pixel occupies 96 bits.
#define ZUBITSPERPIXELMASK  0x00FF0000 ///< Selects the bits-per-pixel field.
#define ZUPIXELIDMASK       0x0000FFFF ///< Selects the identifier field.
/// @}

/// Pixel format of an image, built from the flags, the bits per pixel and
/// the identifier above.
///
/// The underlying type is fixed at 32 signed bits because any code may be
/// handed in, custom ones with the top bit set included; nothing checks a
/// value against this list. Unpacked formats narrower than their container
/// (Mono10, Mono12, ...) count the container's bits, packed ones ("Packed",
/// "p") the bits actually used. The list is kept in identifier order;
/// identifiers that are missing are not defined by this SDK.
typedef enum : int32_t
{
    ZuPixelUndefined               = 0,
    ZuPixelMono8                   = ZUPIXELMONO  | ZUPIXEL8BIT  | 0x0001,
    ZuPixelMono8s                  = ZUPIXELMONO  | ZUPIXEL8BIT  | 0x0002,
    ZuPixelMono10                  = ZUPIXELMONO  | ZUPIXEL16BIT | 0x0003,
    ZuPixelMono10Packed            = ZUPIXELMONO  | ZUPIXEL12BIT | 0x0004,
    ZuPixelMono12                  = ZUPIXELMONO  | ZUPIXEL16BIT | 0x0005,
    ZuPixelMono12Packed            = ZUPIXELMONO  | ZUPIXEL12BIT | 0x0006,
    ZuPixelMono16                  = ZUPIXELMONO  | ZUPIXEL16BIT | 0x0007,
    ZuPixelBayerGR8                = ZUPIXELMONO  | ZUPIXEL8BIT  | 0x0008,
    ZuPixelBayerRG8                = ZUPIXELMONO  | ZUPIXEL8BIT  | 0x0009,
    ZuPixelBayerGB8                = ZUPIXELMONO  | ZUPIXEL8BIT  | 0x000A,
    ZuPixelBayerBG8                = ZUPIXELMONO  | ZUPIXEL8BIT  | 0x000B,
    ZuPixelBayerGR10               = ZUPIXELMONO  | ZUPIXEL16BIT | 0x000C,
    ZuPixelBayerRG10               = ZUPIXELMONO  | ZUPIXEL16BIT | 0x000D,
    ZuPixelBayerGB10               = ZUPIXELMONO  | ZUPIXEL16BIT | 0x000E,
    ZuPixelBayerBG10               = ZUPIXELMONO  | ZUPIXEL16BIT | 0x000F,
    ZuPixelBayerGR12               = ZUPIXELMONO  | ZUPIXEL16BIT | 0x0010,
    ZuPixelBayerRG12               = ZUPIXELMONO  | ZUPIXEL16BIT | 0x0011,
    ZuPixelBayerGB12               = ZUPIXELMONO  | ZUPIXEL16BIT | 0x0012,
    ZuPixelBayerBG12               = ZUPIXELMONO  | ZUPIXEL16BIT | 0x0013,
    ZuPixelRGB8                    = ZUPIXELCOLOR | ZUPIXEL24BIT | 0x0014,
    ZuPixelBGR8                    = ZUPIXELCOLOR | ZUPIXEL24BIT | 0x0015,
    ZuPixelRGBa8                   = ZUPIXELCOLOR | ZUPIXEL32BIT | 0x0016,
    ZuPixelBGRa8                   = ZUPIXELCOLOR | ZUPIXEL32BIT | 0x0017,
    ZuPixelRGB10                   = ZUPIXELCOLOR | ZUPIXEL48BIT | 0x0018,
    ZuPixelBGR10                   = ZUPIXELCOLOR | ZUPIXEL48BIT | 0x0019,
    ZuPixelRGB12                   = ZUPIXELCOLOR | ZUPIXEL48BIT | 0x001A,
    ZuPixelBGR12                   = ZUPIXELCOLOR | ZUPIXEL48BIT | 0x001B,
    ZuPixelRGB10V1Packed           = ZUPIXELCOLOR | ZUPIXEL32BIT | 0x001C,
    ZuPixelRGB10p32                = ZUPIXELCOLOR | ZUPIXEL32BIT | 0x001D,
    ZuPixelYUV411_8_UYYVYY         = ZUPIXELCOLOR | ZUPIXEL12BIT | 0x001E,
    ZuPixelYUV422_8_UYVY           = ZUPIXELCOLOR | ZUPIXEL16BIT | 0x001F,
    ZuPixelYUV8_UYV                = ZUPIXELCOLOR | ZUPIXEL24BIT | 0x0020,
    ZuPixelRGB8_Planar             = ZUPIXELCOLOR | ZUPIXEL24BIT | 0x0021,
    ZuPixelRGB10_Planar            = ZUPIXELCOLOR | ZUPIXEL48BIT | 0x0022,
    ZuPixelRGB12_Planar            = ZUPIXELCOLOR | ZUPIXEL48BIT | 0x0023,
    ZuPixelRGB16_Planar            = ZUPIXELCOLOR | ZUPIXEL48BIT | 0x0024,
    ZuPixelMono14                  = ZUPIXELMONO  | ZUPIXEL16BIT | 0x0025,
    ZuPixelBayerGR10Packed         = ZUPIXELMONO  | ZUPIXEL12BIT | 0x0026,
    ZuPixelBayerRG10Packed         = ZUPIXELMONO  | ZUPIXEL12BIT | 0x0027,
    ZuPixelBayerGB10Packed         = ZUPIXELMONO  | ZUPIXEL12BIT | 0x0028,
    ZuPixelBayerBG10Packed         = ZUPIXELMONO  | ZUPIXEL12BIT | 0x0029,
    ZuPixelBayerGR12Packed         = ZUPIXELMONO  | ZUPIXEL12BIT | 0x002A,
    ZuPixelBayerRG12Packed         = ZUPIXELMONO  | ZUPIXEL12BIT | 0x002B,
    ZuPixelBayerGB12Packed         = ZUPIXELMONO  | ZUPIXEL12BIT | 0x002C,
    ZuPixelBayerBG12Packed         = ZUPIXELMONO  | ZUPIXEL12BIT | 0x002D,
    ZuPixelBayerGR16               = ZUPIXELMONO  | ZUPIXEL16BIT | 0x002E,
    ZuPixelBayerRG16               = ZUPIXELMONO  | ZUPIXEL16BIT | 0x002F,
    ZuPixelBayerGB16               = ZUPIXELMONO  | ZUPIXEL16BIT | 0x0030,
    ZuPixelBayerBG16               = ZUPIXELMONO  | ZUPIXEL16BIT | 0x0031,
    ZuPixelYUV422_8                = ZUPIXELCOLOR | ZUPIXEL16BIT | 0x0032,
    ZuPixelRGB16                   = ZUPIXELCOLOR | ZUPIXEL48BIT | 0x0033,
    ZuPixelRGB12V1Packed           = ZUPIXELCOLOR | ZUPIXEL36BIT | 0x0034,
    ZuPixelRGB565p                 = ZUPIXELCOLOR | ZUPIXEL16BIT | 0x0035,
    ZuPixelBGR565p                 = ZUPIXELCOLOR | ZUPIXEL16BIT | 0x0036,
    ZuPixelMono1p                  = ZUPIXELMONO  | ZUPIXEL1BIT  | 0x0037,
    ZuPixelMono2p                  = ZUPIXELMONO  | ZUPIXEL2BIT  | 0x0038,
    ZuPixelMono4p                  = ZUPIXELMONO  | ZUPIXEL4BIT  | 0x0039,
    ZuPixelYCbCr8_CbYCr            = ZUPIXELCOLOR | ZUPIXEL24BIT | 0x003A,
    ZuPixelYCbCr422_8              = ZUPIXELCOLOR | ZUPIXEL16BIT | 0x003B,
    ZuPixelYCbCr411_8_CbYYCrYY     = ZUPIXELCOLOR | ZUPIXEL12BIT | 0x003C,
    ZuPixelYCbCr601_8_CbYCr        = ZUPIXELCOLOR | ZUPIXEL24BIT | 0x003D,
    ZuPixelYCbCr601_422_8          = ZUPIXELCOLOR | ZUPIXEL16BIT | 0x003E,
    ZuPixelYCbCr601_411_8_CbYYCrYY = ZUPIXELCOLOR | ZUPIXEL12BIT | 0x003F,
    ZuPixelYCbCr709_8_CbYCr        = ZUPIXELCOLOR | ZUPIXEL24BIT | 0x0040,
    ZuPixelYCbCr709_422_8          = ZUPIXELCOLOR | ZUPIXEL16BIT | 0x0041,
    ZuPixelYCbCr709_411_8_CbYYCrYY = ZUPIXELCOLOR | ZUPIXEL12BIT | 0x0042,
    ZuPixelYCbCr422_8_CbYCrY       = ZUPIXELCOLOR | ZUPIXEL16BIT | 0x0043,
    ZuPixelYCbCr601_422_8_CbYCrY   = ZUPIXELCOLOR | ZUPIXEL16BIT | 0x0044,
    ZuPixelYCbCr709_422_8_CbYCrY   = ZUPIXELCOLOR | ZUPIXEL16BIT | 0x0045,
    ZuPixelMono10p                 = ZUPIXELMONO  | ZUPIXEL10BIT | 0x0046,
    ZuPixelMono12p                 = ZUPIXELMONO  | ZUPIXEL12BIT | 0x0047,
    ZuPixelBGR10p                  = ZUPIXELCOLOR | ZUPIXEL30BIT | 0x0048,
    ZuPixelBGR12p                  = ZUPIXELCOLOR | ZUPIXEL36BIT | 0x0049,
    ZuPixelBGR14                   = ZUPIXELCOLOR | ZUPIXEL48BIT | 0x004A,
    ZuPixelBGR16                   = ZUPIXELCOLOR | ZUPIXEL48BIT | 0x004B,
    ZuPixelBGRa10                  = ZUPIXELCOLOR | ZUPIXEL64BIT | 0x004C,
    ZuPixelBGRa10p                 = ZUPIXELCOLOR | ZUPIXEL40BIT | 0x004D,
    ZuPixelBGRa12                  = ZUPIXELCOLOR | ZUPIXEL64BIT | 0x004E,
    ZuPixelBGRa12p                 = ZUPIXELCOLOR | ZUPIXEL48BIT | 0x004F,
    ZuPixelBGRa14                  = ZUPIXELCOLOR | ZUPIXEL64BIT | 0x0050,
    ZuPixelBGRa16                  = ZUPIXELCOLOR | ZUPIXEL64BIT | 0x0051,
    // RGB10p and BayerBG10p were given the same identifier; only the flag
    // and depth fields tell them apart, so never compare identifiers alone.
    ZuPixelRGB10p                  = ZUPIXELCOLOR | ZUPIXEL30BIT | 0x0052,
    ZuPixelBayerBG10p              = ZUPIXELMONO  | ZUPIXEL10BIT | 0x0052,
    ZuPixelBayerBG12p              = ZUPIXELMONO  | ZUPIXEL12BIT | 0x0053,
    ZuPixelBayerGB10p              = ZUPIXELMONO  | ZUPIXEL10BIT | 0x0054,
    ZuPixelBayerGB12p              = ZUPIXELMONO  | ZUPIXEL12BIT | 0x0055,
    ZuPixelBayerGR10p              = ZUPIXELMONO  | ZUPIXEL10BIT | 0x0056,
    ZuPixelBayerGR12p              = ZUPIXELMONO  | ZUPIXEL12BIT | 0x0057,
    ZuPixelBayerRG10p              = ZUPIXELMONO  | ZUPIXEL10BIT | 0x0058,
    ZuPixelBayerRG12p              = ZUPIXELMONO  | ZUPIXEL12BIT | 0x0059,
    ZuPixelYCbCr411_8              = ZUPIXELCOLOR | ZUPIXEL12BIT | 0x005A,
    ZuPixelYCbCr8                  = ZUPIXELCOLOR | ZUPIXEL24BIT | 0x005B,
    ZuPixelRGB12p                  = ZUPIXELCOLOR | ZUPIXEL36BIT | 0x005C,
    ZuPixelRGB14                   = ZUPIXELCOLOR | ZUPIXEL48BIT | 0x005D,
    ZuPixelRGBa10                  = ZUPIXELCOLOR | ZUPIXEL64BIT | 0x005E,
    ZuPixelRGBa10p                 = ZUPIXELCOLOR | ZUPIXEL40BIT | 0x005F,
    ZuPixelRGBa12                  = ZUPIXELCOLOR | ZUPIXEL64BIT | 0x0060,
    ZuPixelRGBa12p                 = ZUPIXELCOLOR | ZUPIXEL48BIT | 0x0061,
    ZuPixelRGBa14                  = ZUPIXELCOLOR | ZUPIXEL64BIT | 0x0062,
    ZuPixelRGBa16                  = ZUPIXELCOLOR | ZUPIXEL64BIT | 0x0063,
    ZuPixelYCbCr422_10             = ZUPIXELCOLOR | ZUPIXEL32BIT | 0x0065,
    ZuPixelYCbCr422_12             = ZUPIXELCOLOR | ZUPIXEL32BIT | 0x0066,
    ZuPixelSCF1WBWG8               = ZUPIXELMONO  | ZUPIXEL8BIT  | 0x0067,
    ZuPixelSCF1WBWG10              = ZUPIXELMONO  | ZUPIXEL16BIT | 0x0068,
    ZuPixelSCF1WBWG10p             = ZUPIXELMONO  | ZUPIXEL10BIT | 0x0069,
    ZuPixelSCF1WBWG12              = ZUPIXELMONO  | ZUPIXEL16BIT | 0x006A,
    ZuPixelSCF1WBWG12p             = ZUPIXELMONO  | ZUPIXEL12BIT | 0x006B,
    ZuPixelSCF1WBWG14              = ZUPIXELMONO  | ZUPIXEL16BIT | 0x006C,
    ZuPixelSCF1WBWG16              = ZUPIXELMONO  | ZUPIXEL16BIT | 0x006D,
    ZuPixelSCF1WGWB8               = ZUPIXELMONO  | ZUPIXEL8BIT  | 0x006E,
    ZuPixelSCF1WGWB10              = ZUPIXELMONO  | ZUPIXEL16BIT | 0x006F,
    ZuPixelSCF1WGWB10p             = ZUPIXELMONO  | ZUPIXEL10BIT | 0x0070,
    ZuPixelSCF1WGWB12              = ZUPIXELMONO  | ZUPIXEL16BIT | 0x0071,
    ZuPixelSCF1WGWB12p             = ZUPIXELMONO  | ZUPIXEL12BIT | 0x0072,
    ZuPixelSCF1WGWB14              = ZUPIXELMONO  | ZUPIXEL16BIT | 0x0073,
    ZuPixelSCF1WGWB16              = ZUPIXELMONO  | ZUPIXEL16BIT | 0x0074,
    ZuPixelSCF1WGWR8               = ZUPIXELMONO  | ZUPIXEL8BIT  | 0x0075,
    ZuPixelSCF1WGWR10              = ZUPIXELMONO  | ZUPIXEL16BIT | 0x0076,
    ZuPixelSCF1WGWR10p             = ZUPIXELMONO  | ZUPIXEL10BIT | 0x0077,
    ZuPixelSCF1WGWR12              = ZUPIXELMONO  | ZUPIXEL16BIT | 0x0078,
    ZuPixelSCF1WGWR12p             = ZUPIXELMONO  | ZUPIXEL12BIT | 0x0079,
    ZuPixelSCF1WGWR14              = ZUPIXELMONO  | ZUPIXEL16BIT | 0x007A,
    ZuPixelSCF1WGWR16              = ZUPIXELMONO  | ZUPIXEL16BIT | 0x007B,
    ZuPixelSCF1WRWG8               = ZUPIXELMONO  | ZUPIXEL8BIT  | 0x007C,
    ZuPixelSCF1WRWG10              = ZUPIXELMONO  | ZUPIXEL16BIT | 0x007D,
    ZuPixelSCF1WRWG10p             = ZUPIXELMONO  | ZUPIXEL10BIT | 0x007E,
    ZuPixelSCF1WRWG12              = ZUPIXELMONO  | ZUPIXEL16BIT | 0x007F,
    ZuPixelSCF1WRWG12p             = ZUPIXELMONO  | ZUPIXEL12BIT | 0x0080,
    ZuPixelSCF1WRWG14              = ZUPIXELMONO  | ZUPIXEL16BIT | 0x0081,
    ZuPixelSCF1WRWG16              = ZUPIXELMONO  | ZUPIXEL16BIT | 0x0082,
    ZuPixelYCbCr10_CbYCr           = ZUPIXELCOLOR | ZUPIXEL48BIT | 0x0083,
    ZuPixelYCbCr10p_CbYCr          = ZUPIXELCOLOR | ZUPIXEL30BIT | 0x0084,
    ZuPixelYCbCr12_CbYCr           = ZUPIXELCOLOR | ZUPIXEL48BIT | 0x0085,
    ZuPixelYCbCr12p_CbYCr          = ZUPIXELCOLOR | ZUPIXEL36BIT | 0x0086,
    ZuPixelYCbCr422_10p            = ZUPIXELCOLOR | ZUPIXEL20BIT | 0x0087,
    ZuPixelYCbCr422_12p            = ZUPIXELCOLOR | ZUPIXEL24BIT | 0x0088,
    ZuPixelYCbCr601_10_CbYCr       = ZUPIXELCOLOR | ZUPIXEL48BIT | 0x0089,
    ZuPixelYCbCr601_10p_CbYCr      = ZUPIXELCOLOR | ZUPIXEL30BIT | 0x008A,
    ZuPixelYCbCr601_12_CbYCr       = ZUPIXELCOLOR | ZUPIXEL48BIT | 0x008B,
    ZuPixelYCbCr601_12p_CbYCr      = ZUPIXELCOLOR | ZUPIXEL36BIT | 0x008C,
    ZuPixelYCbCr601_422_10         = ZUPIXELCOLOR | ZUPIXEL32BIT | 0x008D,
    ZuPixelYCbCr601_422_10p        = ZUPIXELCOLOR | ZUPIXEL20BIT | 0x008E,
    ZuPixelYCbCr601_422_12         = ZUPIXELCOLOR | ZUPIXEL32BIT | 0x008F,
    ZuPixelYCbCr601_422_12p        = ZUPIXELCOLOR | ZUPIXEL24BIT | 0x0090,
    ZuPixelYCbCr709_10_CbYCr       = ZUPIXELCOLOR | ZUPIXEL48BIT | 0x0091,
    ZuPixelYCbCr709_10p_CbYCr      = ZUPIXELCOLOR | ZUPIXEL30BIT | 0x0092,
    ZuPixelYCbCr709_12_CbYCr       = ZUPIXELCOLOR | ZUPIXEL48BIT | 0x0093,
    ZuPixelYCbCr709_12p_CbYCr      = ZUPIXELCOLOR | ZUPIXEL36BIT | 0x0094,
    ZuPixelYCbCr709_422_10         = ZUPIXELCOLOR | ZUPIXEL32BIT | 0x0095,
    ZuPixelYCbCr709_422_10p        = ZUPIXELCOLOR | ZUPIXEL20BIT | 0x0096,
    ZuPixelYCbCr709_422_12         = ZUPIXELCOLOR | ZUPIXEL32BIT | 0x0097,
    ZuPixelYCbCr709_422_12p        = ZUPIXELCOLOR | ZUPIXEL24BIT | 0x0098,
    ZuPixelYCbCr422_10_CbYCrY      = ZUPIXELCOLOR | ZUPIXEL32BIT | 0x0099,
    ZuPixelYCbCr422_10p_CbYCrY     = ZUPIXELCOLOR | ZUPIXEL20BIT | 0x009A,
    ZuPixelYCbCr422_12_CbYCrY      = ZUPIXELCOLOR | ZUPIXEL32BIT | 0x009B,
    ZuPixelYCbCr422_12p_CbYCrY     = ZUPIXELCOLOR | ZUPIXEL24BIT | 0x009C,
    ZuPixelYCbCr601_422_10_CbYCrY  = ZUPIXELCOLOR | ZUPIXEL32BIT | 0x009D,
    ZuPixelYCbCr601_422_10p_CbYCrY = ZUPIXELCOLOR | ZUPIXEL20BIT | 0x009E,
    ZuPixelYCbCr601_422_12_CbYCrY  = ZUPIXELCOLOR | ZUPIXEL32BIT | 0x009F,
    ZuPixelYCbCr601_422_12p_CbYCrY = ZUPIXELCOLOR | ZUPIXEL24BIT | 0x00A0,
    ZuPixelYCbCr709_422_10_CbYCrY  = ZUPIXELCOLOR | ZUPIXEL32BIT | 0x00A1,
    ZuPixelYCbCr709_422_10p_CbYCrY = ZUPIXELCOLOR | ZUPIXEL20BIT | 0x00A2,
    ZuPixelYCbCr709_422_12_CbYCrY  = ZUPIXELCOLOR | ZUPIXEL32BIT | 0x00A3,
    ZuPixelYCbCr709_422_12p_CbYCrY = ZUPIXELCOLOR | ZUPIXEL24BIT | 0x00A4,
    ZuPixelBiColorRGBG8            = ZUPIXELCOLOR | ZUPIXEL16BIT | 0x00A5,
    ZuPixelBiColorBGRG8            = ZUPIXELCOLOR | ZUPIXEL16BIT | 0x00A6,
    ZuPixelBiColorRGBG10           = ZUPIXELCOLOR | ZUPIXEL32BIT | 0x00A7,
    ZuPixelBiColorRGBG10p          = ZUPIXELCOLOR | ZUPIXEL20BIT | 0x00A8,
    ZuPixelBiColorBGRG10           = ZUPIXELCOLOR | ZUPIXEL32BIT | 0x00A9,
    ZuPixelBiColorBGRG10p          = ZUPIXELCOLOR | ZUPIXEL20BIT | 0x00AA,
    ZuPixelBiColorRGBG12           = ZUPIXELCOLOR | ZUPIXEL32BIT | 0x00AB,
    ZuPixelBiColorRGBG12p          = ZUPIXELCOLOR | ZUPIXEL24BIT | 0x00AC,
    ZuPixelBiColorBGRG12           = ZUPIXELCOLOR | ZUPIXEL32BIT | 0x00AD,
    ZuPixelBiColorBGRG12p          = ZUPIXELCOLOR | ZUPIXEL24BIT | 0x00AE,
    ZuPixelCoord3D_A8              = ZUPIXELMONO  | ZUPIXEL8BIT  | 0x00AF,
    ZuPixelCoord3D_B8              = ZUPIXELMONO  | ZUPIXEL8BIT  | 0x00B0,
    ZuPixelCoord3D_C8              = ZUPIXELMONO  | ZUPIXEL8BIT  | 0x00B1,
    ZuPixelCoord3D_ABC8            = ZUPIXELCOLOR | ZUPIXEL24BIT | 0x00B2,
    ZuPixelCoord3D_ABC8_Planar     = ZUPIXELCOLOR | ZUPIXEL24BIT | 0x00B3,
    ZuPixelCoord3D_AC8             = ZUPIXELCOLOR | ZUPIXEL16BIT | 0x00B4,
    ZuPixelCoord3D_AC8_Planar      = ZUPIXELCOLOR | ZUPIXEL16BIT | 0x00B5,
    ZuPixelCoord3D_A16             = ZUPIXELMONO  | ZUPIXEL16BIT | 0x00B6,
    ZuPixelCoord3D_B16             = ZUPIXELMONO  | ZUPIXEL16BIT | 0x00B7,
    ZuPixelCoord3D_C16             = ZUPIXELMONO  | ZUPIXEL16BIT | 0x00B8,
    ZuPixelCoord3D_ABC16           = ZUPIXELCOLOR | ZUPIXEL48BIT | 0x00B9,
    ZuPixelCoord3D_ABC16_Planar    = ZUPIXELCOLOR | ZUPIXEL48BIT | 0x00BA,
    ZuPixelCoord3D_AC16            = ZUPIXELCOLOR | ZUPIXEL32BIT | 0x00BB,
    ZuPixelCoord3D_AC16_Planar     = ZUPIXELCOLOR | ZUPIXEL32BIT | 0x00BC,
    ZuPixelCoord3D_A32f            = ZUPIXELMONO  | ZUPIXEL32BIT | 0x00BD,
    ZuPixelCoord3D_B32f            = ZUPIXELMONO  | ZUPIXEL32BIT | 0x00BE,
    ZuPixelCoord3D_C32f            = ZUPIXELMONO  | ZUPIXEL32BIT | 0x00BF,
    ZuPixelCoord3D_ABC32f          = ZUPIXELCOLOR | ZUPIXEL96BIT | 0x00C0,
    ZuPixelCoord3D_ABC32f_Planar   = ZUPIXELCOLOR | ZUPIXEL96BIT | 0x00C1,
    ZuPixelCoord3D_AC32f           = ZUPIXELCOLOR | ZUPIXEL64BIT | 0x00C2,
    ZuPixelCoord3D_AC32f_Planar    = ZUPIXELCOLOR | ZUPIXEL64BIT | 0x00C3,
    ZuPixelConfidence1             = ZUPIXELMONO  | ZUPIXEL8BIT  | 0x00C4,
    ZuPixelConfidence1p            = ZUPIXELMONO  | ZUPIXEL1BIT  | 0x00C5,
    ZuPixelConfidence8             = ZUPIXELMONO  | ZUPIXEL8BIT  | 0x00C6,
    ZuPixelConfidence16            = ZUPIXELMONO  | ZUPIXEL16BIT | 0x00C7,
    ZuPixelConfidence32f           = ZUPIXELMONO  | ZUPIXEL32BIT | 0x00C8,
    ZuPixelR8                      = ZUPIXELMONO  | ZUPIXEL8BIT  | 0x00C9,
    ZuPixelR10                     = ZUPIXELMONO  | ZUPIXEL10BIT | 0x00CA,
    ZuPixelR12                     = ZUPIXELMONO  | ZUPIXEL12BIT | 0x00CB,
    ZuPixelR16                     = ZUPIXELMONO  | ZUPIXEL16BIT | 0x00CC,
    ZuPixelG8                      = ZUPIXELMONO  | ZUPIXEL8BIT  | 0x00CD,
    ZuPixelG10                     = ZUPIXELMONO  | ZUPIXEL10BIT | 0x00CE,
    ZuPixelG12                     = ZUPIXELMONO  | ZUPIXEL12BIT | 0x00CF,
    ZuPixelG16                     = ZUPIXELMONO  | ZUPIXEL16BIT | 0x00D0,
    ZuPixelB8                      = ZUPIXELMONO  | ZUPIXEL8BIT  | 0x00D1,
    ZuPixelB10                     = ZUPIXELMONO  | ZUPIXEL10BIT | 0x00D2,
    ZuPixelB12                     = ZUPIXELMONO  | ZUPIXEL12BIT | 0x00D3,
    ZuPixelB16                     = ZUPIXELMONO  | ZUPIXEL16BIT | 0x00D4,
    ZuPixelCoord3D_A10p            = ZUPIXELMONO  | ZUPIXEL10BIT | 0x00D5,
    ZuPixelCoord3D_B10p            = ZUPIXELMONO  | ZUPIXEL10BIT | 0x00D6,
    ZuPixelCoord3D_C10p            = ZUPIXELMONO  | ZUPIXEL10BIT | 0x00D7,
    ZuPixelCoord3D_A12p            = ZUPIXELMONO  | ZUPIXEL12BIT | 0x00D8,
    ZuPixelCoord3D_B12p            = ZUPIXELMONO  | ZUPIXEL12BIT | 0x00D9,
    ZuPixelCoord3D_C12p            = ZUPIXELMONO  | ZUPIXEL12BIT | 0x00DA,
    ZuPixelCoord3D_ABC10p          = ZUPIXELCOLOR | ZUPIXEL30BIT | 0x00DB,
    ZuPixelCoord3D_ABC10p_Planar   = ZUPIXELCOLOR | ZUPIXEL30BIT | 0x00DC,
    ZuPixelCoord3D_ABC12p          = ZUPIXELCOLOR | ZUPIXEL36BIT | 0x00DE,
    ZuPixelCoord3D_ABC12p_Planar   = ZUPIXELCOLOR | ZUPIXEL36BIT | 0x00DF,
    ZuPixelCoord3D_AC10p           = ZUPIXELCOLOR | ZUPIXEL20BIT | 0x00F0,
    ZuPixelCoord3D_AC10p_Planar    = ZUPIXELCOLOR | ZUPIXEL20BIT | 0x00F1,
    ZuPixelCoord3D_AC12p           = ZUPIXELCOLOR | ZUPIXEL24BIT | 0x00F2,
    ZuPixelCoord3D_AC12p_Planar    = ZUPIXELCOLOR | ZUPIXEL24BIT | 0x00F3,
    ZuPixelMono14p                 = ZUPIXELMONO  | ZUPIXEL14BIT | 0x0104,
    ZuPixelBayerGR14p              = ZUPIXELMONO  | ZUPIXEL14BIT | 0x0105,
    ZuPixelBayerRG14p              = ZUPIXELMONO  | ZUPIXEL14BIT | 0x0106,
    ZuPixelBayerGB14p              = ZUPIXELMONO  | ZUPIXEL14BIT | 0x0107,
    ZuPixelBayerBG14p              = ZUPIXELMONO  | ZUPIXEL14BIT | 0x0108,
    ZuPixelBayerGR14               = ZUPIXELMONO  | ZUPIXEL16BIT | 0x0109,
    ZuPixelBayerRG14               = ZUPIXELMONO  | ZUPIXEL16BIT | 0x010A,
    ZuPixelBayerGB14               = ZUPIXELMONO  | ZUPIXEL16BIT | 0x010B,
    ZuPixelBayerBG14               = ZUPIXELMONO  | ZUPIXEL16BIT | 0x010C,
    ZuPixelBayerGR4p               = ZUPIXELMONO  | ZUPIXEL4BIT  | 0x010D,
    ZuPixelBayerRG4p               = ZUPIXELMONO  | ZUPIXEL4BIT  | 0x010E,
    ZuPixelBayerGB4p               = ZUPIXELMONO  | ZUPIXEL4BIT  | 0x010F,
    ZuPixelBayerBG4p               = ZUPIXELMONO  | ZUPIXEL4BIT  | 0x0110,
    ZuPixelMono32                  = ZUPIXELMONO  | ZUPIXEL32BIT | 0x0111,
    ZuPixelData8                   = ZUPIXELMONO  | ZUPIXEL8BIT  | 0x0116,
    ZuPixelData8s                  = ZUPIXELMONO  | ZUPIXEL8BIT  | 0x0117,
    ZuPixelData16                  = ZUPIXELMONO  | ZUPIXEL16BIT | 0x0118,
    ZuPixelData16s                 = ZUPIXELMONO  | ZUPIXEL16BIT | 0x0119,
    ZuPixelData32                  = ZUPIXELMONO  | ZUPIXEL32BIT | 0x011A,
    ZuPixelData32s                 = ZUPIXELMONO  | ZUPIXEL32BIT | 0x011B,
    ZuPixelData32f                 = ZUPIXELMONO  | ZUPIXEL32BIT | 0x011C,
    ZuPixelData64                  = ZUPIXELMONO  | ZUPIXEL64BIT | 0x011D,
    ZuPixelData64s                 = ZUPIXELMONO  | ZUPIXEL64BIT | 0x011E,
    ZuPixelData64f                 = ZUPIXELMONO  | ZUPIXEL64BIT | 0x011F
} ZuPixelType;

#endif
