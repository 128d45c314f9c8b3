// Zipped descriptions: the first .xml member of a ZIP archive, stored or
// deflated, read from memory with zlib.

#include "GenNodeMap.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace ZU_GENAPI_NS
{

namespace
{

uint32_t Le32(const uint8_t *aP) { return aP[0] | (uint32_t(aP[1]) << 8) | (uint32_t(aP[2]) << 16) | (uint32_t(aP[3]) << 24); }
uint16_t Le16(const uint8_t *aP) { return static_cast<uint16_t>(aP[0] | (aP[1] << 8)); }

const size_t kMaxXml = size_t(1) << 28;

// Inflates a member that says it holds aSize bytes. The text grows by what
// the stream yields, a slice at a time, and never past aSize: the member's
// own claim sets no memory aside.
ZuResult Inflate(const uint8_t *aData, uint32_t aLength, uint32_t aSize, std::string &aXml)
{
    const size_t kSlice = size_t(1) << 16;
    z_stream lZ;
    std::memset(&lZ, 0, sizeof lZ);
    if (inflateInit2(&lZ, -MAX_WBITS) != Z_OK) return Fail(ZU_GENICAM_XML_ERROR, "cannot start decompression");
    lZ.next_in = const_cast<Bytef *>(aData);
    lZ.avail_in = aLength;
    aXml.clear();
    int lRc = Z_OK;
    while (lRc == Z_OK && aXml.size() < aSize) {
        const size_t lHave = aXml.size(), lSlice = std::min<size_t>(kSlice, aSize - lHave);
        aXml.resize(lHave + lSlice);
        lZ.next_out = reinterpret_cast<Bytef *>(&aXml[lHave]);
        lZ.avail_out = uInt(lSlice);
        lRc = inflate(&lZ, Z_NO_FLUSH);
        aXml.resize(lHave + lSlice - lZ.avail_out);
        // No progress with input left means the output is full: the
        // member holds more than it says.
        if (lRc == Z_BUF_ERROR) break;
    }
    // The claimed bytes are all there: the stream must end now.
    if (lRc == Z_OK && aXml.size() == aSize) {
        unsigned char lMore;
        lZ.next_out = &lMore;
        lZ.avail_out = 1;
        lRc = inflate(&lZ, Z_NO_FLUSH);
        if (lZ.avail_out == 0) lRc = Z_DATA_ERROR;
    }
    inflateEnd(&lZ);
    if (lRc != Z_STREAM_END || aXml.size() != aSize) {
        aXml.clear();
        return Fail(ZU_GENICAM_XML_ERROR, "zipped description does not decompress");
    }
    return ZuResult();
}

} // namespace

ZuResult UnzipDescription(const uint8_t *aZip, size_t aLength, std::string &aXml)
{
    if (!aZip || aLength < 22) return Fail(ZU_GENICAM_XML_ERROR, "zipped description too short");
    // End of central directory: its signature within the last 64 KiB + 22 bytes.
    size_t lEocd = std::string::npos;
    size_t lFloor = aLength > 65557 ? aLength - 65557 : 0;
    for (size_t lI = aLength - 22 + 1; lI-- > lFloor;)
        if (Le32(aZip + lI) == 0x06054b50) {
            lEocd = lI;
            break;
        }
    if (lEocd == std::string::npos) return Fail(ZU_GENICAM_XML_ERROR, "zipped description has no central directory");
    uint16_t lCount = Le16(aZip + lEocd + 10);
    size_t lPos = Le32(aZip + lEocd + 16);
    for (uint16_t lE = 0; lE < lCount; ++lE) {
        if (lPos > aLength || aLength - lPos < 46 || Le32(aZip + lPos) != 0x02014b50)
            return Fail(ZU_GENICAM_XML_ERROR, "zipped description has a broken central directory");
        uint16_t lMethod = Le16(aZip + lPos + 10);
        uint32_t lCompressed = Le32(aZip + lPos + 20), lSize = Le32(aZip + lPos + 24);
        uint16_t lNameLen = Le16(aZip + lPos + 28), lExtra = Le16(aZip + lPos + 30), lComment = Le16(aZip + lPos + 32);
        uint32_t lLocal = Le32(aZip + lPos + 42);
        if (aLength - lPos - 46 < lNameLen) return Fail(ZU_GENICAM_XML_ERROR, "zipped description has a broken central directory");
        std::string lName(reinterpret_cast<const char *>(aZip + lPos + 46), lNameLen);
        lPos += 46 + size_t(lNameLen) + lExtra + lComment;
        if (lName.size() < 4 || (lName.compare(lName.size() - 4, 4, ".xml") != 0 && lName.compare(lName.size() - 4, 4, ".XML") != 0)) continue;
        if (lLocal > aLength || aLength - lLocal < 30 || Le32(aZip + lLocal) != 0x04034b50)
            return Fail(ZU_GENICAM_XML_ERROR, "zipped description has a broken member header");
        size_t lData = lLocal + 30 + size_t(Le16(aZip + lLocal + 26)) + Le16(aZip + lLocal + 28);
        if (lData > aLength || aLength - lData < lCompressed) return Fail(ZU_GENICAM_XML_ERROR, "zipped member runs past the archive");
        if (lSize > kMaxXml) return Fail(ZU_GENICAM_XML_ERROR, "zipped description too large");
        if (lMethod == 0) {
            if (lCompressed != lSize) return Fail(ZU_GENICAM_XML_ERROR, "stored member with mismatched sizes");
            aXml.assign(reinterpret_cast<const char *>(aZip + lData), lSize);
            return ZuResult();
        }
        if (lMethod != 8) return Fail(ZU_GENICAM_XML_ERROR, "zipped member uses an unsupported method");
        return Inflate(aZip + lData, lCompressed, lSize, aXml);
    }
    return Fail(ZU_GENICAM_XML_ERROR, "zipped description holds no .xml file");
}

ZuResult LoadNodeMapFromZip(const uint8_t *aZip, size_t aLength, IPort *aPort, std::unique_ptr<INodeMap> &aMap)
{
    aMap.reset();
    std::string lXml;
    ZuResult lR = UnzipDescription(aZip, aLength, lXml);
    if (!lR.IsOK()) return lR;
    return LoadNodeMap(lXml.data(), lXml.size(), aPort, aMap);
}

} // namespace ZU_GENAPI_NS
