#include "ZuResult.h"

namespace {

const char *CodeName(uint32_t aCode)
{
    switch (aCode) {
    case ZU_OK: return "OK";
    case ZU_NOT_INITIALIZED: return "NOT_INITIALIZED";
    case ZU_NOT_FOUND: return "NOT_FOUND";
    case ZU_CANNOT_OPEN_FILE: return "CANNOT_OPEN_FILE";
    case ZU_NO_MORE_ITEM: return "NO_MORE_ITEM";
    case ZU_NOT_CONNECTED: return "NOT_CONNECTED";
    case ZU_STATE_ERROR: return "STATE_ERROR";
    case ZU_THREAD_ERROR: return "THREAD_ERROR";
    case ZU_INVALID_DATA_FORMAT: return "INVALID_DATA_FORMAT";
    case ZU_ABORTED: return "ABORTED";
    case ZU_NOT_ENOUGH_MEMORY: return "NOT_ENOUGH_MEMORY";
    case ZU_GENERIC_ERROR: return "GENERIC_ERROR";
    case ZU_INVALID_PARAMETER: return "INVALID_PARAMETER";
    case ZU_CANCEL: return "CANCEL";
    case ZU_PENDING: return "PENDING";
    case ZU_TIMEOUT: return "TIMEOUT";
    case ZU_GENICAM_XML_ERROR: return "GENICAM_XML_ERROR";
    case ZU_CANT_READ_MANIFEST: return "CANT_READ_MANIFEST";
    case ZU_NOT_IMPLEMENTED: return "NOT_IMPLEMENTED";
    case ZU_NOT_SUPPORTED: return "NOT_SUPPORTED";
    case ZU_FILE_ERROR: return "FILE_ERROR";
    case ZU_ERR_OVERFLOW: return "ERR_OVERFLOW";
    case ZU_IMAGE_ERROR: return "IMAGE_ERROR";
    case ZU_MISSING_PACKETS: return "MISSING_PACKETS";
    case ZU_BUFFER_TOO_SMALL: return "BUFFER_TOO_SMALL";
    case ZU_TOO_MANY_RESENDS: return "TOO_MANY_RESENDS";
    case ZU_RESENDS_FAILURE: return "RESENDS_FAILURE";
    case ZU_TOO_MANY_CONSECUTIVE_RESENDS: return "TOO_MANY_CONSECUTIVE_RESENDS";
    case ZU_AUTO_ABORTED: return "AUTO_ABORTED";
    case ZU_BAD_VERSION: return "BAD_VERSION";
    case ZU_NO_MORE_ENTRY: return "NO_MORE_ENTRY";
    case ZU_NO_AVAILABLE_DATA: return "NO_AVAILABLE_DATA";
    case ZU_NETWORK_ERROR: return "NETWORK_ERROR";
    case ZU_NETWORK_CONFIG_ERROR: return "NETWORK_CONFIG_ERROR";
    case ZU_RESYNC: return "RESYNC";
    case ZU_BUSY: return "BUSY";
    case ZU_CORRUPTED_DATA: return "CORRUPTED_DATA";
    default: return "UNKNOWN";
    }
}

} // namespace

namespace {

// Made as a changeable text, so that one result alone holds may be
// overwritten in place.
std::shared_ptr<const ZuString> Described(const ZuString &aDescription)
{
    if (aDescription.GetLength() == 0) return nullptr;
    return std::make_shared<ZuString>(aDescription);
}

} // namespace

ZuResult::ZuResult() : mCode(ZU_OK), mOSCode(0), mInternalCode(0) {}
ZuResult::ZuResult(uint32_t aCode) : mCode(aCode), mOSCode(0), mInternalCode(0) {}
ZuResult::ZuResult(uint32_t aCode, uint32_t aOSCode) : mCode(aCode), mOSCode(aOSCode), mInternalCode(0) {}
ZuResult::ZuResult(uint32_t aCode, const ZuString &aDescription)
    : mCode(aCode), mOSCode(0), mInternalCode(0), mDescription(Described(aDescription)) {}
ZuResult::ZuResult(uint32_t aCode, uint32_t aOSCode, const ZuString &aDescription)
    : mCode(aCode), mOSCode(aOSCode), mInternalCode(0), mDescription(Described(aDescription)) {}
ZuResult::ZuResult(const ZuResult &aResult) = default;
ZuResult::~ZuResult() {}
ZuResult &ZuResult::operator=(const ZuResult &aResult) = default;

uint32_t ZuResult::GetCode() const { return mCode; }
void ZuResult::SetCode(uint32_t aCode) { mCode = aCode; }
ZuString ZuResult::GetCodeString() const { return ZuString(CodeName(mCode)); }
ZuString ZuResult::GetDescription() const { return mDescription ? *mDescription : ZuString(); }
void ZuResult::SetDescription(const ZuString &aDescription)
{
    // A text no copy shares is overwritten, keeping its memory, rather than made anew.
    if (aDescription.GetLength() != 0 && mDescription && mDescription.use_count() == 1)
        *std::const_pointer_cast<ZuString>(mDescription) = aDescription;
    else
        mDescription = Described(aDescription);
}
bool ZuResult::HasDescription() const { return mDescription != nullptr; }
bool ZuResult::IsOK() const { return mCode == ZU_OK; }
bool ZuResult::IsSuccess() const { return mCode == ZU_OK || mCode == ZU_PENDING; }
bool ZuResult::IsFailure() const { return !IsSuccess(); }
bool ZuResult::IsPending() const { return mCode == ZU_PENDING; }
uint32_t ZuResult::GetInternalCode() const { return mInternalCode; }
uint32_t ZuResult::GetOSCode() const { return mOSCode; }
bool ZuResult::operator==(const ZuResult &aResult) const { return mCode == aResult.mCode; }
bool ZuResult::operator==(uint32_t aCode) const { return mCode == aCode; }
bool ZuResult::operator!=(const ZuResult &aResult) const { return mCode != aResult.mCode; }
bool ZuResult::operator!=(uint32_t aCode) const { return mCode != aCode; }

ZuResult &ZuResult::operator|=(const ZuResult &aResult)
{
    if (IsSuccess() && aResult.IsFailure()) *this = aResult;
    return *this;
}
