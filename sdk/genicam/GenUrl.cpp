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

ZuResult LoadNodeMapFromUrl(const std::string &aUrl, IPort *aPort, std::unique_ptr<INodeMap> &aMap)
{
    aMap.reset();
    // A URL register is a fixed-size field: the text ends at its first null.
    std::string lUrl = aUrl.substr(0, aUrl.find('\0'));
    lUrl = lUrl.substr(0, lUrl.find('?'));  // schema version hints are not needed
    if (IEquals(lUrl, 0, "local:")) {
        std::string lRest = lUrl.substr(6);
        size_t lSemi1 = lRest.find(';');
        size_t lSemi2 = lSemi1 == std::string::npos ? std::string::npos : lRest.find(';', lSemi1 + 1);
        uint64_t lAddress = 0, lLength = 0;
        if (lSemi2 == std::string::npos || !Hex(lRest.substr(lSemi1 + 1, lSemi2 - lSemi1 - 1), lAddress) ||
            !Hex(lRest.substr(lSemi2 + 1), lLength))
            return Fail(ZU_GENICAM_XML_ERROR, "malformed local URL '" + lUrl + "'");
        if (lLength == 0 || lLength > kMaxDescription) return Fail(ZU_GENICAM_XML_ERROR, "local URL '" + lUrl + "' gives no usable length");
        if (!aPort) return Fail(ZU_NOT_CONNECTED, "no port to read '" + lUrl + "' through");
        std::string lBytes(static_cast<size_t>(lLength), '\0');
        ZuResult lR = aPort->Read(lAddress, &lBytes[0], static_cast<int64_t>(lLength));
        if (!lR.IsOK()) return lR;
        return LoadBytes(lRest.substr(0, lSemi1), lBytes, aPort, aMap);
    }
    if (IEquals(lUrl, 0, "file:")) {
        std::string lPath = lUrl.substr(5);
        if (lPath.compare(0, 2, "//") == 0) lPath = lPath.substr(2);
        std::ifstream lIn(lPath, std::ios::binary);
        if (!lIn) return Fail(ZU_CANNOT_OPEN_FILE, "cannot open '" + lPath + "'");
        std::string lBytes((std::istreambuf_iterator<char>(lIn)), std::istreambuf_iterator<char>());
        return LoadBytes(lPath, lBytes, aPort, aMap);
    }
    return Fail(ZU_NOT_SUPPORTED, "the description's URL '" + lUrl + "' is neither local nor a file");
}

} // namespace ZU_GENAPI_NS
