#ifndef ZU_RESULT_H
#define ZU_RESULT_H

#include "ZuBaseApi.h"
#include "ZuResultCodes.h"
#include "ZuString.h"

#include <memory>

/// Outcome of an SDK operation.
///
/// A result holds a code (one of the ZU_* codes), an optional description,
/// the operating system's error code and an internal code.
class ZU_API ZuResult
{
public:
    /// Builds a result whose code is ZU_OK.
    ZuResult();

    /// Builds a result.
    /// @param aCode Result code.
    ZuResult(uint32_t aCode);

    /// Builds a result with an operating-system error code.
    /// @param aCode Result code.
    /// @param aOSCode Operating-system error code.
    ZuResult(uint32_t aCode, uint32_t aOSCode);

    /// Builds a result with a description.
    /// @param aCode Result code.
    /// @param aDescription Description of the outcome.
    ZuResult(uint32_t aCode, const ZuString &aDescription);

    /// Builds a result with an operating-system error code and a description.
    /// @param aCode Result code.
    /// @param aOSCode Operating-system error code.
    /// @param aDescription Description of the outcome.
    ZuResult(uint32_t aCode, uint32_t aOSCode, const ZuString &aDescription);

    /// Builds a copy of another result.
    /// @param aResult Result to copy.
    ZuResult(const ZuResult &aResult);

    /// Destroys the result.
    virtual ~ZuResult();

    /// Returns the result code.
    /// @return One of the ZU_* codes.
    uint32_t GetCode() const;

    /// Sets the result code.
    /// @param aCode One of the ZU_* codes.
    void SetCode(uint32_t aCode);

    /// Returns the name of the result code.
    /// @return The code's name, such as "TIMEOUT".
    ZuString GetCodeString() const;

    /// Returns the description.
    /// @return The description, empty when there is none.
    ZuString GetDescription() const;

    /// Sets the description.
    /// @param aDescription Description of the outcome.
    void SetDescription(const ZuString &aDescription);

    /// Tests whether the result has a description.
    /// @return true when a non-empty description is set.
    bool HasDescription() const;

    /// Tests whether the code is ZU_OK.
    bool IsOK() const;

    /// Tests whether the code is ZU_OK or ZU_PENDING.
    bool IsSuccess() const;

    /// Tests whether the code is neither ZU_OK nor ZU_PENDING.
    bool IsFailure() const;

    /// Tests whether the code is ZU_PENDING.
    bool IsPending() const;

    /// Returns the internal code, which locates the failure inside the SDK.
    uint32_t GetInternalCode() const;

    /// Returns the operating system's error code.
    uint32_t GetOSCode() const;

    /// Tests whether two results have the same code.
    bool operator==(const ZuResult &aResult) const;
    /// Tests whether the result has the given code.
    bool operator==(uint32_t aCode) const;
    /// Tests whether two results have different codes.
    bool operator!=(const ZuResult &aResult) const;
    /// Tests whether the result has another code than the given one.
    bool operator!=(uint32_t aCode) const;

    /// Combines another result into this one: a successful result takes
    /// over the first failure it is combined with.
    /// @param aResult Result to combine.
    /// @return This result.
    ZuResult &operator|=(const ZuResult &aResult);

#ifndef SWIG
    // Results are copied by their constructor in the bindings; C++ assigns them.
    ZuResult &operator=(const ZuResult &aResult);
#endif

private:
    uint32_t mCode;
    uint32_t mOSCode;
    uint32_t mInternalCode;
    // Made only for a result that has a description, and shared by its
    // copies (it never changes): results travel by value on every call, and
    // an OK one is copied without touching the heap.
    std::shared_ptr<const ZuString> mDescription;
};

#endif
