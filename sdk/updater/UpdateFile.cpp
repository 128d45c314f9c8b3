#include "UpdateFile.h"

#include <zlib.h>

#include <cstring>
#include <string_view>

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

std::string_view Trim(std::string_view s)
{
    const char *blank = " \t\r";
    const size_t a = s.find_first_not_of(blank);
    if (a == std::string_view::npos) return std::string_view();
    return s.substr(a, s.find_last_not_of(blank) - a + 1);
}

struct Member {
    bool found = false;
    size_t at = 0, length = 0;
};

// Walks every member's header between the file's header and its checksum
// (aEnd), checking each length against what is left, and finds the member
// named aName; a name found twice is refused, as the file would not say
// which of the two it means.
ZuResult Find(const uint8_t *aData, size_t aEnd, std::string_view aName, Member &aOut)
{
    size_t at = sizeof kMagic;
    while (at < aEnd) {
        if (aEnd - at < 2) return Malformed("a member is cut short");
        const size_t nameLength = Le(aData + at, 2);
        at += 2;
        if (nameLength == 0 || nameLength > 255 || aEnd - at < nameLength) return Malformed("a member's name is cut short");
        const std::string_view name(reinterpret_cast<const char *>(aData + at), nameLength);
        at += nameLength;
        if (aEnd - at < 4) return Malformed("a member is cut short");
        const size_t length = Le(aData + at, 4);
        at += 4;
        if (aEnd - at < length) return Malformed("a member's data is cut short");
        if (name == aName) {
            if (aOut.found) return Malformed("a member is there twice");
            aOut = Member{true, at, length};
        }
        at += length;
    }
    return ZuResult();
}

} // namespace

ZuResult ParseUpdateFile(const uint8_t *aData, size_t aSize, UpdateFile &aOut)
{
    if (!aData || aSize < sizeof kMagic + 4 || std::memcmp(aData, kMagic, sizeof kMagic) != 0)
        return Malformed("no update file header");
    const size_t end = aSize - 4;
    const uLong crc = crc32(crc32(0L, Z_NULL, 0), aData, uInt(end));
    if (uint32_t(crc) != Le(aData + end, 4)) return Malformed("its checksum does not match");

    // Nothing is kept of the members but where the two the update reads
    // are: a file of many members or many manifest keys costs no more than
    // its bytes.
    Member manifest;
    ZuResult r = Find(aData, end, "manifest", manifest);
    if (!r.IsOK()) return r;
    if (!manifest.found) return BadManifest("is missing");

    struct Key {
        const char *name;
        std::string_view value;
        bool given;
    } keys[] = {{"Format", {}, false}, {"Version", {}, false}, {"Image", {}, false}, {"Model", {}, false}};
    const std::string_view text(reinterpret_cast<const char *>(aData + manifest.at), manifest.length);
    for (size_t line = 0; line <= text.size();) {
        size_t next = text.find('\n', line);
        if (next == std::string_view::npos) next = text.size();
        const std::string_view l = Trim(text.substr(line, next - line));
        line = next + 1;
        if (l.empty() || l[0] == '#') continue;
        const size_t eq = l.find('=');
        if (eq == std::string_view::npos) return BadManifest("has a line without '='");
        const std::string_view name = Trim(l.substr(0, eq));
        for (Key &k : keys) {
            if (name != k.name) continue;
            if (k.given) return BadManifest(std::string("gives ") + k.name + " twice");
            k.given = true;
            k.value = Trim(l.substr(eq + 1));
        }
    }
    const std::string_view format = keys[0].value, version = keys[1].value, image = keys[2].value;
    if (format != "1") return BadManifest("is not of format 1");
    if (version.empty() || version.size() > kMaxVersion || version.find('\0') != std::string_view::npos)
        return BadManifest("needs a Version of 1 to 31 bytes");
    Member member;
    if (!image.empty() && image != "manifest") {
        r = Find(aData, end, image, member);
        if (!r.IsOK()) return r;
    }
    if (!member.found) return BadManifest("does not name an image member of the file");
    aOut.version = std::string(version);
    aOut.model = std::string(keys[3].value);
    aOut.image.assign(aData + member.at, aData + member.at + member.length);
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
