#ifndef ZU_GEN_API_H
#define ZU_GEN_API_H

/// @file
/// The names of the node-map engine behind the parameter classes. Users
/// and bindings hold nodes and node maps only as opaque handles; the engine
/// itself is internal to the SDK libraries.

#ifndef ZU_GENAPI_NS
#define ZU_GENAPI_NS ZuGenApi
#endif

namespace ZU_GENAPI_NS
{
class IPort;
class INode;
class INodeMap;
} // namespace ZU_GENAPI_NS

#endif
