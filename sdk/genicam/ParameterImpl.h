#ifndef TARN_GENICAM_PARAMETER_IMPL_H
#define TARN_GENICAM_PARAMETER_IMPL_H

// The state of the parameter classes, private to this library: the
// parameter classes and their array reach each other's through
// GenParameterAccess.

#include "ZuGenParameter.h"
#include "ZuGenParameterArray.h"
#include "tarn/SinkList.h"
#include "tarn/genicam/Engine.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

struct ZuGenParameterList::Impl
{
    std::vector<ZuGenParameter *> items;
    size_t cursor = 0;
};

struct ZuGenParameter::Impl
{
    Impl(ZuGenParameter *aSelf, ZU_GENAPI_NS::INode *aNode)
        : self(aSelf), node(aNode), kind(aNode ? aNode->GetInterface() : ZU_GENAPI_NS::NodeInterface::Category)
    {
    }
    // Tells the registered sinks; called by the node map once its lock is free.
    void Notify();

    ZuGenParameter *const self;
    ZU_GENAPI_NS::INode *const node;
    // The node's interface, which decides the parameter's class.
    const ZU_GENAPI_NS::NodeInterface kind;
    ZuGenParameterArray *array = nullptr;
    std::atomic<bool> updatesEnabled{true};
    std::atomic<int> callbackId{0};
    tarn::SinkList<ZuGenEventSink> sinks;
    // Enumerations only: their entries, in the node's order.
    std::vector<std::unique_ptr<ZuGenEnumEntry>> entries;
};

namespace tarn {

struct GenParameterAccess
{
    // Parameters have a protected destructor: only their array deletes them.
    struct Deleter
    {
        void operator()(ZuGenParameter *aParameter) const { delete aParameter; }
    };
    typedef std::unique_ptr<ZuGenParameter, Deleter> Owned;

    // The parameter of the node's kind, or null for a kind that has none
    // (categories and enumeration entries).
    static Owned Make(ZU_GENAPI_NS::INode *aNode, ZuGenParameterArray *aArray);
    static std::unique_ptr<ZuGenCategory> MakeCategory(ZU_GENAPI_NS::INode *aNode)
    {
        return std::unique_ptr<ZuGenCategory>(new ZuGenCategory(aNode));
    }
    static std::unique_ptr<ZuGenEnumEntry> MakeEntry(ZU_GENAPI_NS::INode *aNode)
    {
        return std::unique_ptr<ZuGenEnumEntry>(new ZuGenEnumEntry(aNode));
    }

    static ZuGenParameter::Impl &Of(const ZuGenParameter &aParameter) { return *aParameter.mImpl; }
    // The parameter as the class of its kind, or null for another kind
    // (what a dynamic_cast answers, without its cost).
    template <class Kind>
    static Kind *As(ZuGenParameter *aParameter, ZU_GENAPI_NS::NodeInterface aKind)
    {
        return aParameter && aParameter->mImpl->kind == aKind ? static_cast<Kind *>(aParameter) : nullptr;
    }
    static ZU_GENAPI_NS::INode *Node(const ZuGenParameter &aParameter) { return aParameter.mImpl->node; }
    static ZuGenParameterArray::Impl &Of(ZuGenParameterArray &aArray);
    static ZuGenStateStack::Impl &Of(ZuGenStateStack &aStack);
};

} // namespace tarn

struct ZuGenParameterArray::Impl
{
    // Forgets everything, parameters first: they unregister from nodes of the map.
    void Clear();
    // Takes over a freshly loaded map (or clears the array for a failure).
    ZuResult Adopt(ZuResult aResult, std::unique_ptr<ZU_GENAPI_NS::INodeMap> &aMap, ZuGenParameterArray *aOwner);
    ZuGenParameter *Find(const ZuString &aName) const;

    std::unique_ptr<ZU_GENAPI_NS::INodeMap> map;
    std::vector<tarn::GenParameterAccess::Owned> parameters;
    // Keyed by views of the node names, which live as long as the map.
    std::unordered_map<std::string_view, ZuGenParameter *> byName;
    std::vector<std::unique_ptr<ZuGenCategory>> categories;
    std::unordered_map<std::string_view, ZuGenCategory *> categoriesByName;
    std::shared_ptr<void> attachmentOwner;
};

struct ZuGenStateStack::Impl
{
    ZuResult Remember(const ZuString &aName);

    ZuGenParameterArray *array = nullptr;
    std::vector<std::pair<std::string, std::string>> saved;
    std::shared_ptr<void> arrayOwner;
};

inline ZuGenParameterArray::Impl &tarn::GenParameterAccess::Of(ZuGenParameterArray &aArray) { return *aArray.mImpl; }
inline ZuGenStateStack::Impl &tarn::GenParameterAccess::Of(ZuGenStateStack &aStack) { return *aStack.mImpl; }

#endif
