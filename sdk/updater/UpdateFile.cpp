#include "UpdateFile.h"

#include <zlib.h>

#include <cstring>
#include <map>

namespace tarn {
namespace updater {

namespace {

constexpr char kMagic[8] = {'T', 'A', 'R', 'N', 'F', 'W', 'U', '1'};
constexpr size_t kMaxVersion = 31;

ZuResult Malformed(const char *aWhy)
{
    return ZuResult(ZU_INVALID_DATA_FORMAT, ZuString((std::string("not a valid update file: ") + aWhy).c_str()));
}

ZuResult BadManifest(const std::string &aWhy)
{
    return ZuResult(ZU_CANT_READ_MANIFEST, ZuString(("the update file's manifest " + aWhy).c_str()));
}

uint32_t Le(const uint8_t *p, size_t n)
{
    uint32_t v = 0;
    for (size_t k = n; k-- > 0;) v = v << 8 | p[k];
    return v;
}

std::string Trim(const std::string &s)
{
    const char *blank = " \t\r";
    const size_t a = s.find_first_not_of(blank);
    if (a == std::string::npos) return std::string();
    return s.substr(a, s.find_last_not_of(blank) - a + 1);
}

} // namespace

ZuResult ParseUpdateFile(const uint8_t *aData, size_t aSize, UpdateFile &aOut)
{
    if (!aData || aSize < sizeof kMagic + 4 || std::memcmp(aData, kMagic, sizeof kMagic) != 0)
        return Malformed("no update file header");
    const size_t end = aSize - 4;
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), aData, uInt(end));
    if (uint32_t(crc) != Le(aData + end, 4)) return Malformed("its checksum does not match");

    // Members: name -> [offset, length).
    std::map<std::string, std::pair<size_t, size_t>> members;
    size_t at = sizeof kMagic;
    while (at < end) {
        if (end - at < 2) return Malformed("a member is cut short");
        const size_t nameLength = Le(aData + at, 2);
        at += 2;
        if (nameLength == 0 || nameLength > 255 || end - at < nameLength) return Malformed("a member's name is cut short");
        std::string name(reinterpret_cast<const char *>(aData + at), nameLength);
        at += nameLength;
        if (end - at < 4) return Malformed("a member is cut short");
        const size_t length = Le(aData + at, 4);
        at += 4;
        if (end - at < length) return Malformed("a member's data is cut short");
        if (!members.emplace(name, std::make_pair(at, length)).second) return Malformed("a member is there twice");
        at += length;
    }

    auto manifest = members.find("manifest");
    if (manifest == members.end()) return BadManifest("is missing");
    std::map<std::string, std::string> keys;
    const std::string text(reinterpret_cast<const char *>(aData + manifest->second.first), manifest->second.second);
    size_t line = 0;
    while (line <= text.size()) {
        size_t next = text.find('\n', line);
        if (next == std::string::npos) next = text.size();
        const std::string l = Trim(text.substr(line, next - line));
        line = next + 1;
        if (l.empty() || l[0] == '#') continue;
        const size_t eq = l.find('=');
        if (eq == std::string::npos) return BadManifest("has a line without '='");
        keys[Trim(l.substr(0, eq))] = Trim(l.substr(eq + 1));
    }
    if (keys["Format"] != "1") return BadManifest("is not of format 1");
    const std::string version = keys["Version"];
    if (version.empty() || version.size() > kMaxVersion || version.find('\0') != std::string::npos)
        return BadManifest("needs a Version of 1 to 31 bytes");
    auto image = members.find(keys["Image"]);
    if (keys["Image"].empty() || image == members.end() || image->first == "manifest")
        return BadManifest("does not name an image member of the file");
    aOut.version = version;
    aOut.model = keys["Model"];
    aOut.image.assign(aData + image->second.first, aData + image->second.first + image->second.second);
    return ZuResult();
}

std::vector<uint8_t> BuildUpdateFile(const std::vector<std::pair<std::string, std::vector<uint8_t>>> &aMembers)
{
    std::vector<uint8_t> out(kMagic, kMagic + sizeof kMagic);
    auto put = [&](uint32_t v, size_t n) {
        for (size_t k = 0; k < n; ++k) out.push_back(uint8_t(v >> (8 * k)));
    };
    for (const auto &m : aMembers) {
        put(uint32_t(m.first.size()), 2);
        out.insert(out.end(), m.first.begin(), m.first.end());
        put(uint32_t(m.second.size()), 4);
        out.insert(out.end(), m.second.begin(), m.second.end());
    }
    put(uint32_t(crc32(crc32(0L, Z_NULL, 0), out.data(), uInt(out.size()))), 4);
    return out;
}

} // namespace updater
} // namespace tarn
