#ifndef TARN_SINK_LIST_H
#define TARN_SINK_LIST_H

// The registered sinks of an object: the answers every Register and
// Unregister of the SDK gives. The caller holds its own lock.

#include "ZuResult.h"

#include <algorithm>
#include <vector>

namespace tarn {

template <class Sink>
ZuResult AddSink(std::vector<Sink *> &aSinks, Sink *aSink)
{
    if (!aSink) return ZuResult(ZU_INVALID_PARAMETER, ZuString("no event sink"));
    if (std::find(aSinks.begin(), aSinks.end(), aSink) != aSinks.end())
        return ZuResult(ZU_GENERIC_ERROR, ZuString("the event sink is registered already"));
    aSinks.push_back(aSink);
    return ZuResult();
}

template <class Sink>
ZuResult RemoveSink(std::vector<Sink *> &aSinks, Sink *aSink)
{
    if (!aSink) return ZuResult(ZU_INVALID_PARAMETER, ZuString("no event sink"));
    auto it = std::find(aSinks.begin(), aSinks.end(), aSink);
    if (it == aSinks.end()) return ZuResult(ZU_NOT_FOUND, ZuString("the event sink is not registered"));
    aSinks.erase(it);
    return ZuResult();
}

} // namespace tarn

#endif
