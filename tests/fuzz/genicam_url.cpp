// Description URLs as a device's URL register gives them: any text reads
// as a local or file URL, or is refused; a local one's length is always
// usable and its name never longer than the text.
#include "tarn/genicam/Engine.h"

#include <cstdlib>
#include <string>

using namespace ZU_GENAPI_NS;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *aData, size_t aSize)
{
    const std::string url(reinterpret_cast<const char *>(aData), aSize);
    DescriptionUrl parsed;
    if (!ParseDescriptionUrl(url, parsed).IsOK()) return 0;
    if (parsed.name.size() > url.size() || parsed.path.size() > url.size()) abort();
    if (parsed.scheme == DescriptionUrl::Scheme::Local && (parsed.length == 0 || parsed.length > (uint64_t(1) << 28)))
        abort();
    return 0;
}
