// Descriptions named by a GenICam URL, as a device's bootstrap registers
// give them: "Local:name.xml;address;length" (hexadecimal, in device
// memory read through the port, zipped when the name ends in .zip) or
// "File:" with a path on this host.

#include "GenNodeMap.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace ZU_GENAPI_NS
{

namespace
{

const uint64_t kMaxDescription = uint64_t(1) << 28;

bool IEquals(const std::string &aA, size_t aPos, const char *aB)
{
    for (size_t lI = 0; aB[lI]; ++lI)
        if (aPos + lI >= aA.size() || std::tolower(static_cast<unsigned char>(aA[aPos + lI])) != std::tolower(static_cast<unsigned char>(aB[lI])))
            return false;
    return true;
}

bool EndsWithZip(const std::string &aName)
{
    return aName.size() >= 4 && IEquals(aName, aName.size() - 4, ".zip");
}

bool Hex(const std::string &aText, uint64_t &aValue)
{
    if (aText.empty() || aText.size() > 16) return false;
    char *lEnd = nullptr;
    aValue = std::strtoull(aText.c_str(), &lEnd, 16);
    return *lEnd == '\0' && std::isxdigit(static_cast<unsigned char>(aText[0]));
}

ZuResult LoadBytes(const std::string &aName, const std::string &aBytes, IPort *aPort, std::unique_ptr<INodeMap> &aMap)
{
    if (EndsWithZip(aName))
        return LoadNodeMapFromZip(reinterpret_cast<const uint8_t *>(aBytes.data()), aBytes.size(), aPort, aMap);
    return LoadNodeMap(aBytes.data(), aBytes.size(), aPort, aMap);
}

} // namespace

ZuResult ParseDescriptionUrl(const std::string &aUrl, DescriptionUrl &aOut)
{
    aOut = DescriptionUrl();
    // A URL register is a fixed-size field: the text ends at its first null.
    std::string lUrl = aUrl.substr(0, aUrl.find('\0'));
    lUrl = lUrl.substr(0, lUrl.find('?'));  // schema version hints are not needed
    if (IEquals(lUrl, 0, "local:")) {
        std::string lRest = lUrl.substr(6);
        size_t lSemi1 = lRest.find(';');
        size_t lSemi2 = lSemi1 == std::string::npos ? std::string::npos : lRest.find(';', lSemi1 + 1);
        if (lSemi2 == std::string::npos || !Hex(lRest.substr(lSemi1 + 1, lSemi2 - lSemi1 - 1), aOut.address) ||
            !Hex(lRest.substr(lSemi2 + 1), aOut.length))
            return Fail(ZU_GENICAM_XML_ERROR, "malformed local URL '" + lUrl + "'");
        if (aOut.length == 0 || aOut.length > kMaxDescription)
            return Fail(ZU_GENICAM_XML_ERROR, "local URL '" + lUrl + "' gives no usable length");
        aOut.scheme = DescriptionUrl::Scheme::Local;
        aOut.name = lRest.substr(0, lSemi1);
    } else if (IEquals(lUrl, 0, "file:")) {
        aOut.scheme = DescriptionUrl::Scheme::File;
        aOut.path = lUrl.substr(5);
        if (aOut.path.compare(0, 2, "//") == 0) aOut.path = aOut.path.substr(2);
        aOut.name = aOut.path.substr(aOut.path.find_last_of('/') + 1);
    } else {
        return Fail(ZU_NOT_SUPPORTED, "the description's URL '" + lUrl + "' is neither local nor a file");
    }
    aOut.zipped = EndsWithZip(aOut.name);
    return ZuResult();
}

ZuResult LoadNodeMapFromUrl(const std::string &aUrl, IPort *aPort, std::unique_ptr<INodeMap> &aMap)
{
    aMap.reset();
    DescriptionUrl lUrl;
    ZuResult lR = ParseDescriptionUrl(aUrl, lUrl);
    if (!lR.IsOK()) return lR;
    std::string lBytes;
    if (lUrl.scheme == DescriptionUrl::Scheme::Local) {
        if (!aPort) return Fail(ZU_NOT_CONNECTED, "no port to read '" + lUrl.name + "' through");
        // The URL's length sets memory aside only for what the port holds.
        if (!aPort->Holds(lUrl.address, static_cast<int64_t>(lUrl.length)))
            return Fail(ZU_INVALID_PARAMETER, "'" + lUrl.name + "' lies outside the port's memory");
        lBytes.assign(static_cast<size_t>(lUrl.length), '\0');
        lR = aPort->Read(lUrl.address, &lBytes[0], static_cast<int64_t>(lUrl.length));
        if (!lR.IsOK()) return lR;
    } else {
        std::ifstream lIn(lUrl.path, std::ios::binary);
        if (!lIn) return Fail(ZU_CANNOT_OPEN_FILE, "cannot open '" + lUrl.path + "'");
        lBytes.assign(std::istreambuf_iterator<char>(lIn), std::istreambuf_iterator<char>());
    }
    return LoadBytes(lUrl.name, lBytes, aPort, aMap);
}

} // namespace ZU_GENAPI_NS
