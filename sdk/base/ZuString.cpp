#include "ZuString.h"

#include <cstring>
#include <cwchar>

namespace {

// Lone surrogates U+DC80..U+DCFF stand for bytes that were not valid UTF-8,
// so an 8-bit text survives the round trip through the wide form unchanged.
void AppendUtf8(std::string &aOut, wchar_t aChar)
{
    uint32_t lC = static_cast<uint32_t>(aChar);
    if (lC >= 0xDC80 && lC <= 0xDCFF) {
        aOut.push_back(static_cast<char>(lC - 0xDC00));
    } else if (lC < 0x80) {
        aOut.push_back(static_cast<char>(lC));
    } else if (lC < 0x800) {
        aOut.push_back(static_cast<char>(0xC0 | (lC >> 6)));
        aOut.push_back(static_cast<char>(0x80 | (lC & 0x3F)));
    } else if (lC < 0x10000) {
        aOut.push_back(static_cast<char>(0xE0 | (lC >> 12)));
        aOut.push_back(static_cast<char>(0x80 | ((lC >> 6) & 0x3F)));
        aOut.push_back(static_cast<char>(0x80 | (lC & 0x3F)));
    } else if (lC < 0x110000) {
        aOut.push_back(static_cast<char>(0xF0 | (lC >> 18)));
        aOut.push_back(static_cast<char>(0x80 | ((lC >> 12) & 0x3F)));
        aOut.push_back(static_cast<char>(0x80 | ((lC >> 6) & 0x3F)));
        aOut.push_back(static_cast<char>(0x80 | (lC & 0x3F)));
    } else {
        aOut.push_back('?');
    }
}

std::wstring DecodeUtf8(const char *aText, size_t aLength)
{
    std::wstring lOut;
    lOut.reserve(aLength);
    const unsigned char *lP = reinterpret_cast<const unsigned char *>(aText);
    size_t lI = 0;
    while (lI < aLength) {
        unsigned char lB = lP[lI];
        uint32_t lC = 0;
        size_t lN = 0;
        if (lB < 0x80) { lC = lB; lN = 1; }
        else if ((lB & 0xE0) == 0xC0) { lC = lB & 0x1F; lN = 2; }
        else if ((lB & 0xF0) == 0xE0) { lC = lB & 0x0F; lN = 3; }
        else if ((lB & 0xF8) == 0xF0) { lC = lB & 0x07; lN = 4; }
        bool lValid = lN > 0 && lI + lN <= aLength;
        for (size_t lK = 1; lValid && lK < lN; ++lK) {
            if ((lP[lI + lK] & 0xC0) != 0x80) lValid = false;
            else lC = (lC << 6) | (lP[lI + lK] & 0x3F);
        }
        if (lValid) {
            static const uint32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000};
            if (lC < kMin[lN] || lC > 0x10FFFF || (lC >= 0xD800 && lC <= 0xDFFF)) lValid = false;
        }
        if (!lValid) {
            lOut.push_back(static_cast<wchar_t>(0xDC00 + lB));
            ++lI;
        } else {
            lOut.push_back(static_cast<wchar_t>(lC));
            lI += lN;
        }
    }
    return lOut;
}

} // namespace

ZuString::ZuString() {}

ZuString::ZuString(const ZuString &aValue) : mWide(aValue.mWide), mNarrow(aValue.mNarrow) {}

ZuString::ZuString(const char *aValue)
{
    if (aValue) mWide = DecodeUtf8(aValue, std::strlen(aValue));
    SetNarrowFromWide();
}

ZuString::ZuString(const char *aValue, unsigned int aLength)
{
    if (aValue) {
        size_t lLength = 0;
        while (lLength < aLength && aValue[lLength] != '\0') ++lLength;
        mWide = DecodeUtf8(aValue, lLength);
    }
    SetNarrowFromWide();
}

ZuString::ZuString(const wchar_t *aValue)
{
    if (aValue) mWide = aValue;
    SetNarrowFromWide();
}

ZuString::ZuString(const std::wstring &aValue) : mWide(aValue.c_str()) { SetNarrowFromWide(); }

ZuString::ZuString(const std::string &aValue)
{
    mWide = DecodeUtf8(aValue.data(), std::strlen(aValue.c_str()));
    SetNarrowFromWide();
}

ZuString::~ZuString() {}

ZuString &ZuString::operator=(const ZuString &aValue)
{
    mWide = aValue.mWide;
    mNarrow = aValue.mNarrow;
    return *this;
}

void ZuString::SetNarrowFromWide()
{
    mNarrow.clear();
    mNarrow.reserve(mWide.size());
    for (wchar_t lC : mWide) AppendUtf8(mNarrow, lC);
}

const char *ZuString::GetAscii() const { return mNarrow.c_str(); }
const wchar_t *ZuString::GetUnicode() const { return mWide.c_str(); }
uint32_t ZuString::GetLength() const { return static_cast<uint32_t>(mWide.size()); }

bool ZuString::operator==(const ZuString &aValue) const { return mWide == aValue.mWide; }
bool ZuString::operator==(const char *aValue) const { return aValue ? mNarrow == aValue : mWide.empty(); }
bool ZuString::operator==(const wchar_t *aValue) const { return aValue ? mWide == aValue : mWide.empty(); }
bool ZuString::operator!=(const ZuString &aValue) const { return !(*this == aValue); }
bool ZuString::operator!=(const char *aValue) const { return !(*this == aValue); }
bool ZuString::operator!=(const wchar_t *aValue) const { return !(*this == aValue); }

ZuString &ZuString::operator+=(const ZuString &aValue)
{
    mWide += aValue.mWide;
    mNarrow += aValue.mNarrow;
    return *this;
}
