#ifndef ZU_STRING_H
#define ZU_STRING_H

#include "ZuBaseApi.h"

#include <string>

/// Text of the SDK.
///
/// A text is held as wide characters and can be read as an 8-bit text
/// (UTF-8). Bytes that are not valid UTF-8 in an 8-bit text survive the
/// round trip through the wide form.
class ZU_API ZuString
{
public:
    /// Builds an empty text.
    ZuString();

    /// Builds a copy of another text.
    /// @param aValue Text to copy.
    ZuString(const ZuString &aValue);

    /// Builds a text from a null-terminated 8-bit (UTF-8) text.
    /// @param aValue 8-bit text; a null pointer gives an empty text.
    ZuString(const char *aValue);

    /// Builds a text from the first bytes of an 8-bit (UTF-8) text.
    /// @param aValue 8-bit text; a null pointer gives an empty text.
    /// @param aLength Number of bytes to take; the text also ends at its first null byte.
    ZuString(const char *aValue, unsigned int aLength);

    /// Builds a text from a null-terminated wide-character text.
    /// @param aValue Wide text; a null pointer gives an empty text.
    ZuString(const wchar_t *aValue);

    /// Destroys the text.
    virtual ~ZuString();

    /// Returns the text as an 8-bit (UTF-8) text.
    /// @return The 8-bit text, valid while the object is neither changed nor destroyed.
    const char *GetAscii() const;

    /// Returns the text as wide characters.
    /// @return The wide text, valid while the object is neither changed nor destroyed.
    const wchar_t *GetUnicode() const;

    /// Returns the length of the text.
    /// @return Number of characters.
    uint32_t GetLength() const;

    /// Tests whether the text equals another (case-sensitive).
    bool operator==(const ZuString &aOther) const;
    /// Tests whether the text equals an 8-bit text (case-sensitive).
    bool operator==(const char *aValue) const;
    /// Tests whether the text equals a wide text (case-sensitive).
    bool operator==(const wchar_t *aValue) const;
    /// Tests whether the text differs from another.
    bool operator!=(const ZuString &aOther) const;
    /// Tests whether the text differs from an 8-bit text.
    bool operator!=(const char *aValue) const;
    /// Tests whether the text differs from a wide text.
    bool operator!=(const wchar_t *aValue) const;

    /// Appends another text.
    /// @param aValue Text to append.
    /// @return This text.
    ZuString &operator+=(const ZuString &aValue);

#ifndef SWIG
    // Hidden from the bindings: a text is a value on every call, so its two
    // forms stay inline, and the SDK's libraries build and read texts
    // through these members everywhere.
    ZuString &operator=(const ZuString &aValue);
    explicit ZuString(const std::wstring &aValue);
    explicit ZuString(const std::string &aValue);
    const std::wstring &Wide() const { return mWide; }
    const std::string &Narrow() const { return mNarrow; }

private:
    void SetNarrowFromWide();
    std::wstring mWide;
    std::string mNarrow;
#endif
};

#endif
