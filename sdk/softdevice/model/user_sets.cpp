#include "softdevice/model/user_sets.h"

#include "IZuRegister.h"
#include "ZuLog.h"
#include "softdevice/model/custom_register.h"
#include "softdevice/model/guard.h"
#include "softdevice/model/register_space.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tarn {
namespace softdevice {

namespace {

constexpr const char *kMagic = "tarn-user-sets 1";
constexpr size_t kMaxValue = 1 << 20;

bool parseNumber(const std::string &aText, uint32_t &aOut)
{
    if (aText.empty() || aText.size() > 10) return false;
    uint64_t v = 0;
    for (char c : aText) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + uint64_t(c - '0');
    }
    if (v > 0xFFFFFFFFull) return false;
    aOut = uint32_t(v);
    return true;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

bool parseUserSets(const std::string &aText, UserSetFile &aOut, std::string &aError)
{
    aOut = UserSetFile();
    std::istringstream in(aText);
    std::string line;
    size_t number = 0;
    UserSet *current = nullptr;
    bool seenMagic = false;
    auto bad = [&](const std::string &aWhy) {
        aError = "line " + std::to_string(number) + ": " + aWhy;
        aOut = UserSetFile();
        return false;
    };
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!seenMagic) {
            if (line != kMagic) return bad("not a user-set file");
            seenMagic = true;
            continue;
        }
        if (line.empty()) continue;
        const size_t space = line.find(' ');
        const std::string word = line.substr(0, space);
        const std::string rest = space == std::string::npos ? std::string() : line.substr(space + 1);
        if (!current) {
            uint32_t value = 0;
            if (word == "default") {
                if (!parseNumber(rest, value)) return bad("the default set is no number");
                aOut.defaultSet = value;
            } else if (word == "set") {
                if (!parseNumber(rest, value) || value == 0) return bad("a set is numbered from 1");
                if (aOut.sets.count(value)) return bad("set " + rest + " appears twice");
                current = &aOut.sets[value];
            } else {
                return bad("unexpected '" + word + "'");
            }
            continue;
        }
        if (word == "end" && rest.empty()) {
            current = nullptr;
            continue;
        }
        if (word.empty() || space == std::string::npos || rest.size() % 2 || rest.size() / 2 > kMaxValue)
            return bad("a value is a name and an even number of hex digits");
        std::vector<uint8_t> bytes(rest.size() / 2);
        for (size_t i = 0; i < bytes.size(); ++i) {
            const int hi = hexDigit(rest[2 * i]), lo = hexDigit(rest[2 * i + 1]);
            if (hi < 0 || lo < 0) return bad("a value is a name and an even number of hex digits");
            bytes[i] = uint8_t(hi << 4 | lo);
        }
        (*current)[word] = std::move(bytes);
    }
    if (!seenMagic) return bad("empty");
    if (current) return bad("the last set has no end");
    return true;
}

std::string formatUserSets(const UserSetFile &aFile)
{
    std::ostringstream out;
    out << kMagic << "\ndefault " << aFile.defaultSet << "\n";
    static const char digits[] = "0123456789ABCDEF";
    for (const auto &set : aFile.sets) {
        out << "set " << set.first << "\n";
        for (const auto &value : set.second) {
            out << value.first << ' ';
            for (uint8_t b : value.second) out << digits[b >> 4] << digits[b & 15];
            out << "\n";
        }
        out << "end\n";
    }
    return out.str();
}

ZuResult RegisterStore::Persist(IZuRegister *aRegister, const ZuString &aNameSuffix)
{
    if (!aRegister) return ZuResult(ZU_INVALID_PARAMETER);
    auto *own = dynamic_cast<CustomRegister *>(aRegister);
    const std::string name = (own && !own->feature.empty() ? own->feature : aRegister->GetName().Narrow()) + aNameSuffix.Narrow();
    const size_t length = aRegister->GetLength();
    if (mSaving) {
        std::vector<uint8_t> bytes(length);
        ZuResult r = aRegister->ReadBytes(bytes.data(), uint32_t(length));
        if (r.IsOK()) mSet[name] = std::move(bytes);
        return r;
    }
    auto it = mSet.find(name);
    if (it == mSet.end() || it->second.size() != length) return ZuResult(ZU_INVALID_PARAMETER, ZuString(("the user set holds no " + name).c_str()));
    return aRegister->Write(it->second.data(), uint32_t(length));
}

std::string userSetDirectory()
{
    const char *dir = std::getenv("TARN_USERSET_DIR");
    return dir ? dir : "";
}

std::string userSetPath(const std::string &aDirectory, const std::string &aSerial, const std::string &aMac)
{
    // Only characters safe in a file name.
    auto clean = [](const std::string &aText) {
        std::string out;
        for (char c : aText) out += (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') ? c : '_';
        return out;
    };
    return aDirectory + "/usersets-" + clean(aSerial) + "-" + clean(aMac) + ".txt";
}

bool readUserSetFile(const std::string &aPath, UserSetFile &aOut, bool &aExists, std::string &aError)
{
    aOut = UserSetFile();
    std::ifstream in(aPath, std::ios::binary);
    aExists = bool(in);
    if (!in) return true;
    std::ostringstream text;
    text << in.rdbuf();
    if (!parseUserSets(text.str(), aOut, aError)) {
        aError = aPath + ": " + aError;
        return false;
    }
    return true;
}

bool writeUserSetFile(const std::string &aPath, const UserSetFile &aFile, std::string &aError)
{
    // Written aside and renamed, so a crash leaves the old file or the new.
    const std::string temporary = aPath + ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << formatUserSets(aFile);
        out.flush();
        if (!out) {
            aError = temporary + ": " + std::strerror(errno);
            return false;
        }
    }
    if (std::rename(temporary.c_str(), aPath.c_str()) != 0) {
        aError = aPath + ": " + std::strerror(errno);
        std::remove(temporary.c_str());
        return false;
    }
    return true;
}

// ---- The bank

ZuResult UserSetBank::SetCount(uint32_t aCount)
{
    if (aCount > kMaxSets) return ZuResult(ZU_INVALID_PARAMETER);
    mCount = aCount;
    return ZuResult(ZU_OK);
}

ZuResult UserSetBank::SetNotify(IZuUserSetNotify *aNotify)
{
    std::lock_guard<std::mutex> lock(mLock);
    mNotify = aNotify;
    return ZuResult(ZU_OK);
}

void UserSetBank::ForgetNotify(IZuUserSetNotify *aNotify)
{
    std::lock_guard<std::mutex> lock(mLock);
    if (mNotify == aNotify) mNotify = nullptr;
}

void UserSetBank::Notify(ZuUserSetState aState, uint32_t aIndex)
{
    IZuUserSetNotify *n = nullptr;
    {
        std::lock_guard<std::mutex> lock(mLock);
        n = mNotify;
    }
    if (n) guarded(mFailures, [&] { n->UserSetStateNotify(aState, aIndex); });
}

std::string UserSetBank::Problem() const
{
    std::lock_guard<std::mutex> lock(mLock);
    return mProblem;
}

void UserSetBank::Complain(const std::string &aProblem)
{
    {
        std::lock_guard<std::mutex> lock(mLock);
        mProblem = aProblem;
    }
    if (!aProblem.empty()) ZuLogger("SoftDevice").LogWarning(__FILE__, __LINE__, __func__, aProblem.c_str());
}

uint16_t UserSetBank::Save(uint32_t aIndex)
{
    if (aIndex >= mSets.size()) return kStatusInvalidParameter;
    Notify(ZuUserSetStateSaveStart, aIndex);
    UserSet set;
    if (mContents.saveOwn) mContents.saveOwn(set);
    RegisterStore store(set, true);
    bool whole = true;
    for (CustomRegister *r : mContents.registers ? mContents.registers->All() : std::vector<CustomRegister *>()) {
        if (r->feature.empty()) continue;
        ZuResult persisted, written(ZU_OK);
        bool handled = false;
        if (!guarded(mFailures, [&] { handled = r->Persist(store, persisted); }) || !persisted.IsOK()) whole = false;
        if (!handled && r->streamable && !guarded(mFailures, [&] { written = store.Persist(r, ZuString()); }))
            whole = false;
        if (!written.IsOK()) whole = false;
    }
    // The default set is the state the device starts with: what could be
    // read of it is all there is.
    if (whole || aIndex == 0) {
        mSets[aIndex] = std::move(set);
        if (aIndex > 0) WriteFile();
    }
    Notify(ZuUserSetStateSaveCompleted, aIndex);
    return whole ? kStatusSuccess : kStatusError;
}

uint16_t UserSetBank::Load(uint32_t aIndex)
{
    if (aIndex >= mSets.size() || !mSets[aIndex]) return kStatusInvalidParameter;
    Notify(ZuUserSetStateLoadStart, aIndex);
    UserSet set = *mSets[aIndex];
    uint16_t status = mContents.loadOwn ? mContents.loadOwn(set) : kStatusSuccess;
    RegisterStore store(set, false);
    for (CustomRegister *r : mContents.registers ? mContents.registers->All() : std::vector<CustomRegister *>()) {
        if (r->feature.empty()) continue;
        ZuResult persisted;
        bool handled = false;
        if (!guarded(mFailures, [&] { handled = r->Persist(store, persisted); })) status = kStatusError;
        if (handled && !persisted.IsOK()) status = kStatusError;
        if (handled || !r->streamable || !set.count(r->feature)) continue;
        ZuResult written(ZU_GENERIC_ERROR);
        guarded(mFailures, [&] { written = store.Persist(r, ZuString()); });
        if (!written.IsOK()) status = kStatusError;
    }
    Notify(ZuUserSetStateLoadCompleted, aIndex);
    return status;
}

void UserSetBank::Open(Contents aContents, const std::string &aSerial, const std::string &aMac)
{
    mContents = std::move(aContents);
    mSets.assign(size_t(mCount) + 1, std::nullopt);
    mDefault = 0;
    Save(0);
    const std::string dir = userSetDirectory();
    Complain(std::string());
    mPath = dir.empty() ? std::string() : userSetPath(dir, aSerial, aMac);
    if (mPath.empty()) return;
    UserSetFile file;
    bool exists = false;
    std::string error;
    if (!readUserSetFile(mPath, file, exists, error)) {
        // The device starts as it is; the file stays for someone to look at
        // until a save replaces it.
        Complain("user sets not loaded: " + error);
        return;
    }
    if (!exists) return;
    for (auto &set : file.sets)
        if (set.first < mSets.size()) mSets[set.first] = std::move(set.second);
    if (file.defaultSet < mSets.size()) mDefault = file.defaultSet;
    if (mDefault != 0 && Load(mDefault) != kStatusSuccess)
        Complain("user set " + std::to_string(mDefault) + " did not load completely");
}

void UserSetBank::SetDefault(uint32_t aIndex)
{
    mDefault = aIndex;
    WriteFile();
}

void UserSetBank::WriteFile()
{
    if (mPath.empty()) return;
    UserSetFile file;
    file.defaultSet = mDefault;
    for (size_t i = 1; i < mSets.size(); ++i)
        if (mSets[i]) file.sets[uint32_t(i)] = *mSets[i];
    std::string error;
    Complain(writeUserSetFile(mPath, file, error) ? std::string() : "user sets not saved: " + error);
}

} // namespace softdevice
} // namespace tarn
