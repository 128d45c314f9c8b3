#include "ZuPixelTypeInfo.h"

#include <cstring>

namespace {

struct PixelName
{
    ZuPixelType type;
    const char *name;
};

// Names of the GenICam pixel-format naming convention, in identifier order.
const PixelName kNames[] = {
    {ZuPixelUndefined, "Undefined"},
    {ZuPixelMono8, "Mono8"},
    {ZuPixelMono8s, "Mono8s"},
    {ZuPixelMono10, "Mono10"},
    {ZuPixelMono10Packed, "Mono10Packed"},
    {ZuPixelMono12, "Mono12"},
    {ZuPixelMono12Packed, "Mono12Packed"},
    {ZuPixelMono16, "Mono16"},
    {ZuPixelBayerGR8, "BayerGR8"},
    {ZuPixelBayerRG8, "BayerRG8"},
    {ZuPixelBayerGB8, "BayerGB8"},
    {ZuPixelBayerBG8, "BayerBG8"},
    {ZuPixelBayerGR10, "BayerGR10"},
    {ZuPixelBayerRG10, "BayerRG10"},
    {ZuPixelBayerGB10, "BayerGB10"},
    {ZuPixelBayerBG10, "BayerBG10"},
    {ZuPixelBayerGR12, "BayerGR12"},
    {ZuPixelBayerRG12, "BayerRG12"},
    {ZuPixelBayerGB12, "BayerGB12"},
    {ZuPixelBayerBG12, "BayerBG12"},
    {ZuPixelRGB8, "RGB8"},
    {ZuPixelBGR8, "BGR8"},
    {ZuPixelRGBa8, "RGBa8"},
    {ZuPixelBGRa8, "BGRa8"},
    {ZuPixelRGB10, "RGB10"},
    {ZuPixelBGR10, "BGR10"},
    {ZuPixelRGB12, "RGB12"},
    {ZuPixelBGR12, "BGR12"},
    {ZuPixelRGB10V1Packed, "RGB10V1Packed"},
    {ZuPixelRGB10p32, "RGB10p32"},
    {ZuPixelYUV411_8_UYYVYY, "YUV411_8_UYYVYY"},
    {ZuPixelYUV422_8_UYVY, "YUV422_8_UYVY"},
    {ZuPixelYUV8_UYV, "YUV8_UYV"},
    {ZuPixelRGB8_Planar, "RGB8_Planar"},
    {ZuPixelRGB10_Planar, "RGB10_Planar"},
    {ZuPixelRGB12_Planar, "RGB12_Planar"},
    {ZuPixelRGB16_Planar, "RGB16_Planar"},
    {ZuPixelMono14, "Mono14"},
    {ZuPixelBayerGR10Packed, "BayerGR10Packed"},
    {ZuPixelBayerRG10Packed, "BayerRG10Packed"},
    {ZuPixelBayerGB10Packed, "BayerGB10Packed"},
    {ZuPixelBayerBG10Packed, "BayerBG10Packed"},
    {ZuPixelBayerGR12Packed, "BayerGR12Packed"},
    {ZuPixelBayerRG12Packed, "BayerRG12Packed"},
    {ZuPixelBayerGB12Packed, "BayerGB12Packed"},
    {ZuPixelBayerBG12Packed, "BayerBG12Packed"},
    {ZuPixelBayerGR16, "BayerGR16"},
    {ZuPixelBayerRG16, "BayerRG16"},
    {ZuPixelBayerGB16, "BayerGB16"},
    {ZuPixelBayerBG16, "BayerBG16"},
    {ZuPixelYUV422_8, "YUV422_8"},
    {ZuPixelRGB16, "RGB16"},
    {ZuPixelRGB12V1Packed, "RGB12V1Packed"},
    {ZuPixelRGB565p, "RGB565p"},
    {ZuPixelBGR565p, "BGR565p"},
    {ZuPixelMono1p, "Mono1p"},
    {ZuPixelMono2p, "Mono2p"},
    {ZuPixelMono4p, "Mono4p"},
    {ZuPixelYCbCr8_CbYCr, "YCbCr8_CbYCr"},
    {ZuPixelYCbCr422_8, "YCbCr422_8"},
    {ZuPixelYCbCr411_8_CbYYCrYY, "YCbCr411_8_CbYYCrYY"},
    {ZuPixelYCbCr601_8_CbYCr, "YCbCr601_8_CbYCr"},
    {ZuPixelYCbCr601_422_8, "YCbCr601_422_8"},
    {ZuPixelYCbCr601_411_8_CbYYCrYY, "YCbCr601_411_8_CbYYCrYY"},
    {ZuPixelYCbCr709_8_CbYCr, "YCbCr709_8_CbYCr"},
    {ZuPixelYCbCr709_422_8, "YCbCr709_422_8"},
    {ZuPixelYCbCr709_411_8_CbYYCrYY, "YCbCr709_411_8_CbYYCrYY"},
    {ZuPixelYCbCr422_8_CbYCrY, "YCbCr422_8_CbYCrY"},
    {ZuPixelYCbCr601_422_8_CbYCrY, "YCbCr601_422_8_CbYCrY"},
    {ZuPixelYCbCr709_422_8_CbYCrY, "YCbCr709_422_8_CbYCrY"},
    {ZuPixelMono10p, "Mono10p"},
    {ZuPixelMono12p, "Mono12p"},
    {ZuPixelBGR10p, "BGR10p"},
    {ZuPixelBGR12p, "BGR12p"},
    {ZuPixelBGR14, "BGR14"},
    {ZuPixelBGR16, "BGR16"},
    {ZuPixelBGRa10, "BGRa10"},
    {ZuPixelBGRa10p, "BGRa10p"},
    {ZuPixelBGRa12, "BGRa12"},
    {ZuPixelBGRa12p, "BGRa12p"},
    {ZuPixelBGRa14, "BGRa14"},
    {ZuPixelBGRa16, "BGRa16"},
    {ZuPixelRGB10p, "RGB10p"},
    {ZuPixelBayerBG10p, "BayerBG10p"},
    {ZuPixelBayerBG12p, "BayerBG12p"},
    {ZuPixelBayerGB10p, "BayerGB10p"},
    {ZuPixelBayerGB12p, "BayerGB12p"},
    {ZuPixelBayerGR10p, "BayerGR10p"},
    {ZuPixelBayerGR12p, "BayerGR12p"},
    {ZuPixelBayerRG10p, "BayerRG10p"},
    {ZuPixelBayerRG12p, "BayerRG12p"},
    {ZuPixelYCbCr411_8, "YCbCr411_8"},
    {ZuPixelYCbCr8, "YCbCr8"},
    {ZuPixelRGB12p, "RGB12p"},
    {ZuPixelRGB14, "RGB14"},
    {ZuPixelRGBa10, "RGBa10"},
    {ZuPixelRGBa10p, "RGBa10p"},
    {ZuPixelRGBa12, "RGBa12"},
    {ZuPixelRGBa12p, "RGBa12p"},
    {ZuPixelRGBa14, "RGBa14"},
    {ZuPixelRGBa16, "RGBa16"},
    {ZuPixelYCbCr422_10, "YCbCr422_10"},
    {ZuPixelYCbCr422_12, "YCbCr422_12"},
    {ZuPixelSCF1WBWG8, "SCF1WBWG8"},
    {ZuPixelSCF1WBWG10, "SCF1WBWG10"},
    {ZuPixelSCF1WBWG10p, "SCF1WBWG10p"},
    {ZuPixelSCF1WBWG12, "SCF1WBWG12"},
    {ZuPixelSCF1WBWG12p, "SCF1WBWG12p"},
    {ZuPixelSCF1WBWG14, "SCF1WBWG14"},
    {ZuPixelSCF1WBWG16, "SCF1WBWG16"},
    {ZuPixelSCF1WGWB8, "SCF1WGWB8"},
    {ZuPixelSCF1WGWB10, "SCF1WGWB10"},
    {ZuPixelSCF1WGWB10p, "SCF1WGWB10p"},
    {ZuPixelSCF1WGWB12, "SCF1WGWB12"},
    {ZuPixelSCF1WGWB12p, "SCF1WGWB12p"},
    {ZuPixelSCF1WGWB14, "SCF1WGWB14"},
    {ZuPixelSCF1WGWB16, "SCF1WGWB16"},
    {ZuPixelSCF1WGWR8, "SCF1WGWR8"},
    {ZuPixelSCF1WGWR10, "SCF1WGWR10"},
    {ZuPixelSCF1WGWR10p, "SCF1WGWR10p"},
    {ZuPixelSCF1WGWR12, "SCF1WGWR12"},
    {ZuPixelSCF1WGWR12p, "SCF1WGWR12p"},
    {ZuPixelSCF1WGWR14, "SCF1WGWR14"},
    {ZuPixelSCF1WGWR16, "SCF1WGWR16"},
    {ZuPixelSCF1WRWG8, "SCF1WRWG8"},
    {ZuPixelSCF1WRWG10, "SCF1WRWG10"},
    {ZuPixelSCF1WRWG10p, "SCF1WRWG10p"},
    {ZuPixelSCF1WRWG12, "SCF1WRWG12"},
    {ZuPixelSCF1WRWG12p, "SCF1WRWG12p"},
    {ZuPixelSCF1WRWG14, "SCF1WRWG14"},
    {ZuPixelSCF1WRWG16, "SCF1WRWG16"},
    {ZuPixelYCbCr10_CbYCr, "YCbCr10_CbYCr"},
    {ZuPixelYCbCr10p_CbYCr, "YCbCr10p_CbYCr"},
    {ZuPixelYCbCr12_CbYCr, "YCbCr12_CbYCr"},
    {ZuPixelYCbCr12p_CbYCr, "YCbCr12p_CbYCr"},
    {ZuPixelYCbCr422_10p, "YCbCr422_10p"},
    {ZuPixelYCbCr422_12p, "YCbCr422_12p"},
    {ZuPixelYCbCr601_10_CbYCr, "YCbCr601_10_CbYCr"},
    {ZuPixelYCbCr601_10p_CbYCr, "YCbCr601_10p_CbYCr"},
    {ZuPixelYCbCr601_12_CbYCr, "YCbCr601_12_CbYCr"},
    {ZuPixelYCbCr601_12p_CbYCr, "YCbCr601_12p_CbYCr"},
    {ZuPixelYCbCr601_422_10, "YCbCr601_422_10"},
    {ZuPixelYCbCr601_422_10p, "YCbCr601_422_10p"},
    {ZuPixelYCbCr601_422_12, "YCbCr601_422_12"},
    {ZuPixelYCbCr601_422_12p, "YCbCr601_422_12p"},
    {ZuPixelYCbCr709_10_CbYCr, "YCbCr709_10_CbYCr"},
    {ZuPixelYCbCr709_10p_CbYCr, "YCbCr709_10p_CbYCr"},
    {ZuPixelYCbCr709_12_CbYCr, "YCbCr709_12_CbYCr"},
    {ZuPixelYCbCr709_12p_CbYCr, "YCbCr709_12p_CbYCr"},
    {ZuPixelYCbCr709_422_10, "YCbCr709_422_10"},
    {ZuPixelYCbCr709_422_10p, "YCbCr709_422_10p"},
    {ZuPixelYCbCr709_422_12, "YCbCr709_422_12"},
    {ZuPixelYCbCr709_422_12p, "YCbCr709_422_12p"},
    {ZuPixelYCbCr422_10_CbYCrY, "YCbCr422_10_CbYCrY"},
    {ZuPixelYCbCr422_10p_CbYCrY, "YCbCr422_10p_CbYCrY"},
    {ZuPixelYCbCr422_12_CbYCrY, "YCbCr422_12_CbYCrY"},
    {ZuPixelYCbCr422_12p_CbYCrY, "YCbCr422_12p_CbYCrY"},
    {ZuPixelYCbCr601_422_10_CbYCrY, "YCbCr601_422_10_CbYCrY"},
    {ZuPixelYCbCr601_422_10p_CbYCrY, "YCbCr601_422_10p_CbYCrY"},
    {ZuPixelYCbCr601_422_12_CbYCrY, "YCbCr601_422_12_CbYCrY"},
    {ZuPixelYCbCr601_422_12p_CbYCrY, "YCbCr601_422_12p_CbYCrY"},
    {ZuPixelYCbCr709_422_10_CbYCrY, "YCbCr709_422_10_CbYCrY"},
    {ZuPixelYCbCr709_422_10p_CbYCrY, "YCbCr709_422_10p_CbYCrY"},
    {ZuPixelYCbCr709_422_12_CbYCrY, "YCbCr709_422_12_CbYCrY"},
    {ZuPixelYCbCr709_422_12p_CbYCrY, "YCbCr709_422_12p_CbYCrY"},
    {ZuPixelBiColorRGBG8, "BiColorRGBG8"},
    {ZuPixelBiColorBGRG8, "BiColorBGRG8"},
    {ZuPixelBiColorRGBG10, "BiColorRGBG10"},
    {ZuPixelBiColorRGBG10p, "BiColorRGBG10p"},
    {ZuPixelBiColorBGRG10, "BiColorBGRG10"},
    {ZuPixelBiColorBGRG10p, "BiColorBGRG10p"},
    {ZuPixelBiColorRGBG12, "BiColorRGBG12"},
    {ZuPixelBiColorRGBG12p, "BiColorRGBG12p"},
    {ZuPixelBiColorBGRG12, "BiColorBGRG12"},
    {ZuPixelBiColorBGRG12p, "BiColorBGRG12p"},
    {ZuPixelCoord3D_A8, "Coord3D_A8"},
    {ZuPixelCoord3D_B8, "Coord3D_B8"},
    {ZuPixelCoord3D_C8, "Coord3D_C8"},
    {ZuPixelCoord3D_ABC8, "Coord3D_ABC8"},
    {ZuPixelCoord3D_ABC8_Planar, "Coord3D_ABC8_Planar"},
    {ZuPixelCoord3D_AC8, "Coord3D_AC8"},
    {ZuPixelCoord3D_AC8_Planar, "Coord3D_AC8_Planar"},
    {ZuPixelCoord3D_A16, "Coord3D_A16"},
    {ZuPixelCoord3D_B16, "Coord3D_B16"},
    {ZuPixelCoord3D_C16, "Coord3D_C16"},
    {ZuPixelCoord3D_ABC16, "Coord3D_ABC16"},
    {ZuPixelCoord3D_ABC16_Planar, "Coord3D_ABC16_Planar"},
    {ZuPixelCoord3D_AC16, "Coord3D_AC16"},
    {ZuPixelCoord3D_AC16_Planar, "Coord3D_AC16_Planar"},
    {ZuPixelCoord3D_A32f, "Coord3D_A32f"},
    {ZuPixelCoord3D_B32f, "Coord3D_B32f"},
    {ZuPixelCoord3D_C32f, "Coord3D_C32f"},
    {ZuPixelCoord3D_ABC32f, "Coord3D_ABC32f"},
    {ZuPixelCoord3D_ABC32f_Planar, "Coord3D_ABC32f_Planar"},
    {ZuPixelCoord3D_AC32f, "Coord3D_AC32f"},
    {ZuPixelCoord3D_AC32f_Planar, "Coord3D_AC32f_Planar"},
    {ZuPixelConfidence1, "Confidence1"},
    {ZuPixelConfidence1p, "Confidence1p"},
    {ZuPixelConfidence8, "Confidence8"},
    {ZuPixelConfidence16, "Confidence16"},
    {ZuPixelConfidence32f, "Confidence32f"},
    {ZuPixelR8, "R8"},
    {ZuPixelR10, "R10"},
    {ZuPixelR12, "R12"},
    {ZuPixelR16, "R16"},
    {ZuPixelG8, "G8"},
    {ZuPixelG10, "G10"},
    {ZuPixelG12, "G12"},
    {ZuPixelG16, "G16"},
    {ZuPixelB8, "B8"},
    {ZuPixelB10, "B10"},
    {ZuPixelB12, "B12"},
    {ZuPixelB16, "B16"},
    {ZuPixelCoord3D_A10p, "Coord3D_A10p"},
    {ZuPixelCoord3D_B10p, "Coord3D_B10p"},
    {ZuPixelCoord3D_C10p, "Coord3D_C10p"},
    {ZuPixelCoord3D_A12p, "Coord3D_A12p"},
    {ZuPixelCoord3D_B12p, "Coord3D_B12p"},
    {ZuPixelCoord3D_C12p, "Coord3D_C12p"},
    {ZuPixelCoord3D_ABC10p, "Coord3D_ABC10p"},
    {ZuPixelCoord3D_ABC10p_Planar, "Coord3D_ABC10p_Planar"},
    {ZuPixelCoord3D_ABC12p, "Coord3D_ABC12p"},
    {ZuPixelCoord3D_ABC12p_Planar, "Coord3D_ABC12p_Planar"},
    {ZuPixelCoord3D_AC10p, "Coord3D_AC10p"},
    {ZuPixelCoord3D_AC10p_Planar, "Coord3D_AC10p_Planar"},
    {ZuPixelCoord3D_AC12p, "Coord3D_AC12p"},
    {ZuPixelCoord3D_AC12p_Planar, "Coord3D_AC12p_Planar"},
    {ZuPixelMono14p, "Mono14p"},
    {ZuPixelBayerGR14p, "BayerGR14p"},
    {ZuPixelBayerRG14p, "BayerRG14p"},
    {ZuPixelBayerGB14p, "BayerGB14p"},
    {ZuPixelBayerBG14p, "BayerBG14p"},
    {ZuPixelBayerGR14, "BayerGR14"},
    {ZuPixelBayerRG14, "BayerRG14"},
    {ZuPixelBayerGB14, "BayerGB14"},
    {ZuPixelBayerBG14, "BayerBG14"},
    {ZuPixelBayerGR4p, "BayerGR4p"},
    {ZuPixelBayerRG4p, "BayerRG4p"},
    {ZuPixelBayerGB4p, "BayerGB4p"},
    {ZuPixelBayerBG4p, "BayerBG4p"},
    {ZuPixelMono32, "Mono32"},
    {ZuPixelData8, "Data8"},
    {ZuPixelData8s, "Data8s"},
    {ZuPixelData16, "Data16"},
    {ZuPixelData16s, "Data16s"},
    {ZuPixelData32, "Data32"},
    {ZuPixelData32s, "Data32s"},
    {ZuPixelData32f, "Data32f"},
    {ZuPixelData64, "Data64"},
    {ZuPixelData64s, "Data64s"},
    {ZuPixelData64f, "Data64f"},
};

uint32_t FlagsOf(ZuPixelType aPixelType) { return uint32_t(aPixelType) & ZUPIXELCOLORMASK; }

const char *NameOf(ZuPixelType aPixelType)
{
    for (const PixelName &entry : kNames)
        if (entry.type == aPixelType)
            return entry.name;
    return nullptr;
}

// Components per pixel, times two: the 4:1:1 formats carry one and a half
// on average.
uint32_t HalfComponents(ZuPixelType aPixelType)
{
    if (!(FlagsOf(aPixelType) & ZUPIXELCOLOR))
        return 2;
    const char *name = NameOf(aPixelType);
    if (!name)
        return 6;
    if (std::strstr(name, "RGBa") || std::strstr(name, "BGRa"))
        return 8;
    if (std::strstr(name, "411"))
        return 3;
    if (std::strstr(name, "422") || std::strstr(name, "BiColor") || std::strstr(name, "_AC"))
        return 4;
    return 6;
}

}

uint32_t ZuPixelTypeGetPixelBitCount(ZuPixelType aPixelType)
{
    return (uint32_t(aPixelType) & ZUBITSPERPIXELMASK) >> 16;
}

uint32_t ZuPixelTypeGetPixelSize(ZuPixelType aPixelType) { return ZuPixelTypeGetPixelBitCount(aPixelType); }

uint32_t ZuPixelTypeGetBitsPerPixel(ZuPixelType aPixelType) { return ZuPixelTypeGetPixelBitCount(aPixelType); }

uint32_t ZuPixelTypeGetBitsPerComponent(ZuPixelType aPixelType)
{
    return ZuPixelTypeGetBitsPerPixel(aPixelType) * 2 / HalfComponents(aPixelType);
}

bool ZuPixelTypeIsPixelHighRes(ZuPixelType aPixelType) { return ZuPixelTypeGetBitsPerComponent(aPixelType) > 8; }

ZuString ZuPixelTypeToString(ZuPixelType aPixelType)
{
    const char *name = NameOf(aPixelType);
    return ZuString(name ? name : "");
}

bool ZuPixelTypeIsPixelColor(ZuPixelType aPixelType) { return (FlagsOf(aPixelType) & ZUPIXELCOLOR) != 0; }
