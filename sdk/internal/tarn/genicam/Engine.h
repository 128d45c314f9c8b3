#ifndef TARN_GENICAM_ENGINE_H
#define TARN_GENICAM_ENGINE_H

/// @file
/// The node-map engine behind the parameter classes: a GenICam description
/// (XML, schema 1.0 or 1.1) turned into nodes that read and write a
/// device's memory through a port. Shared by the SDK libraries (and their
/// tests), never read by SWIG.
///
/// The same engine serves a connected device (its port reaches device
/// memory over the network), the software device (its port is an
/// in-memory register block) and chunk data (ports with a ChunkID read the
/// bytes attached to the node map).

#include "ZuGenApi.h"
#include "ZuGenTypes.h"
#include "ZuResult.h"
#include "ZuString.h"

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ZU_GENAPI_NS
{

/// Byte-addressed memory that the register nodes of a node map read and
/// write. Implementations must never touch memory outside what they own:
/// a request that does not fit is refused with a failing result.
class ZU_API IPort
{
public:
    virtual ~IPort() {}
    /// Reads aLength bytes at aAddress into aData.
    virtual ZuResult Read(uint64_t aAddress, void *aData, int64_t aLength) = 0;
    /// Writes aLength bytes from aData at aAddress.
    virtual ZuResult Write(uint64_t aAddress, const void *aData, int64_t aLength) = 0;
    /// What the port allows; register nodes never grant more than this.
    virtual ZuGenAccessMode GetAccessMode() const { return ZuGenAccessModeReadWrite; }
    /// Whether aLength bytes at aAddress lie within the port's memory, as
    /// far as the port knows its extent (one that does not answers true).
    /// A register that does not fit is refused before any memory is set
    /// aside for it, whatever length its description declares.
    virtual bool Holds(uint64_t aAddress, int64_t aLength) const
    {
        (void)aAddress;
        (void)aLength;
        return true;
    }
};

/// A port over a block of memory that it owns: the stand-in for device
/// memory in tests and the register space of the software device.
class ZU_API MemoryPort : public IPort
{
public:
    /// Builds a zero-filled block of aSize bytes starting at aBase.
    explicit MemoryPort(size_t aSize, uint64_t aBase = 0, ZuGenAccessMode aMode = ZuGenAccessModeReadWrite);
    ZuResult Read(uint64_t aAddress, void *aData, int64_t aLength) override;
    ZuResult Write(uint64_t aAddress, const void *aData, int64_t aLength) override;
    ZuGenAccessMode GetAccessMode() const override { return mMode; }
    bool Holds(uint64_t aAddress, int64_t aLength) const override;
    /// The block itself, for the owner of the device side. Access through
    /// it is not synchronised with Read and Write: set the block up before
    /// others use the port, or go through Read and Write.
    std::vector<uint8_t> &Bytes() { return mBytes; }
    /// Number of Read and Write calls made so far (to observe caching).
    uint64_t GetAccessCount() const { return mAccesses; }

private:
    bool Fits(uint64_t aAddress, int64_t aLength, size_t &aOffset) const;
    std::vector<uint8_t> mBytes;
    uint64_t mBase;
    ZuGenAccessMode mMode;
    std::atomic<uint64_t> mAccesses{0};
    std::mutex mLock;
};

/// Kind of a node, as its element in the description names it.
enum class NodeKind
{
    Category, Integer, IntReg, MaskedIntReg, Float, FloatReg, Boolean, Command,
    Enumeration, EnumEntry, String, StringReg, Register, StructEntry,
    IntSwissKnife, SwissKnife, IntConverter, Converter, Port
};

/// The value interface a node offers to its users, whatever its kind.
enum class NodeInterface
{
    Category, Integer, Float, Enumeration, EnumEntry, Boolean, Command, String, Register, Port
};

class INodeMap;

/// One node of a node map. Nodes belong to their map and live as long as
/// it does. Every operation reports failures in its result; none throws.
class ZU_API INode
{
public:
    virtual ~INode() {}

    virtual const std::string &GetName() const = 0;
    virtual NodeKind GetKind() const = 0;
    virtual NodeInterface GetInterface() const = 0;
    virtual INodeMap *GetNodeMap() const = 0;

    virtual std::string GetToolTip() const = 0;
    virtual std::string GetDescription() const = 0;
    /// The display name, the node's name when the description gave none.
    virtual std::string GetDisplayName() const = 0;
    virtual ZuGenVisibility GetVisibility() const = 0;
    virtual ZuGenNameSpace GetNameSpace() const = 0;
    virtual ZuGenRepresentation GetRepresentation() const = 0;
    virtual std::string GetUnit() const = 0;
    virtual bool IsStreamable() const = 0;
    virtual ZuGenCache GetCachingMode() const = 0;
    /// Polling time in milliseconds, or -1.
    virtual int64_t GetPollingTime() const = 0;
    virtual std::string GetEventID() const = 0;

    /// Current access: not implemented and not available come first, then
    /// what the node and everything it reads through allow.
    virtual ZuGenAccessMode GetAccessMode() const = 0;

    /// Nodes this one selects (pSelected), and nodes that select this one.
    virtual std::vector<INode *> GetSelectedNodes() const = 0;
    virtual std::vector<INode *> GetSelectingNodes() const = 0;
    /// The features of a category (pFeature), in order.
    virtual std::vector<INode *> GetFeatures() const = 0;
    /// The entries of an enumeration, in order.
    virtual std::vector<INode *> GetEntries() const = 0;
    /// The first category that lists this node, or null.
    virtual INode *GetParentCategory() const = 0;

    virtual ZuResult GetIntValue(int64_t &aValue) const = 0;
    virtual ZuResult SetIntValue(int64_t aValue) = 0;
    virtual ZuResult GetIntMin(int64_t &aValue) const = 0;
    virtual ZuResult GetIntMax(int64_t &aValue) const = 0;
    virtual ZuResult GetIntInc(int64_t &aValue) const = 0;

    virtual ZuResult GetFloatValue(double &aValue) const = 0;
    virtual ZuResult SetFloatValue(double aValue) = 0;
    virtual ZuResult GetFloatMin(double &aValue) const = 0;
    virtual ZuResult GetFloatMax(double &aValue) const = 0;

    virtual ZuResult GetBoolValue(bool &aValue) const = 0;
    virtual ZuResult SetBoolValue(bool aValue) = 0;

    virtual ZuResult GetStringValue(std::string &aValue) const = 0;
    virtual ZuResult SetStringValue(const std::string &aValue) = 0;
    virtual ZuResult GetStringMaxLength(int64_t &aValue) const = 0;

    /// Enumeration: the current entry; entries: their own value and symbol.
    virtual ZuResult GetEntry(INode *&aEntry) const = 0;
    virtual ZuResult SetEntryByName(const std::string &aSymbol) = 0;
    virtual ZuResult GetEntryValue(int64_t &aValue) const = 0;
    virtual std::string GetSymbolic() const = 0;
    virtual bool IsEntryAvailable() const = 0;

    virtual ZuResult Execute() = 0;
    virtual ZuResult IsDone(bool &aDone) = 0;

    /// Register bytes: at most aLength bytes are moved, never more than
    /// the register's own length.
    virtual ZuResult GetRegister(uint8_t *aData, int64_t aLength) const = 0;
    virtual ZuResult SetRegister(const uint8_t *aData, int64_t aLength) = 0;
    virtual ZuResult GetRegisterLength(int64_t &aLength) const = 0;

    /// The value as text and back, in the node's own interface.
    virtual ZuResult ToString(std::string &aValue) const = 0;
    virtual ZuResult FromString(const std::string &aValue) = 0;

    /// Called after the node's value may have changed (written, or
    /// invalidated by something it depends on). Returns an id for removal.
    virtual int RegisterCallback(std::function<void(INode *)> aCallback) = 0;
    virtual void UnregisterCallback(int aId) = 0;
};

/// A node map built from one description.
class ZU_API INodeMap
{
public:
    virtual ~INodeMap() {}

    virtual size_t GetNodeCount() const = 0;
    virtual INode *GetNodeByIndex(size_t aIndex) const = 0;
    virtual INode *GetNode(const std::string &aName) const = 0;

    /// Model and vendor from the description's root, and its schema.
    virtual std::string GetModelName() const = 0;
    virtual std::string GetVendorName() const = 0;
    virtual int GetSchemaMajor() const = 0;
    virtual int GetSchemaMinor() const = 0;

    /// The access the device port allows.
    virtual ZuGenAccessMode GetPortAccessMode() const = 0;

    /// Drops every cached value.
    virtual void InvalidateNodes() = 0;
    /// Invalidates the nodes whose polling time has passed since they were
    /// last invalidated; aElapsedMs < 0 takes the time from the clock, a
    /// value >= 0 advances the map's own polling clock by that much.
    virtual void Poll(int64_t aElapsedMs = -1) = 0;

    /// Chunk ports read these bytes (GigE Vision chunk layout: each chunk
    /// followed by its identifier and length, big-endian, walked from the
    /// end). The memory must stay valid and unchanged until detached.
    virtual ZuResult AttachDataChunks(const uint8_t *aData, uint32_t aLength) = 0;
    virtual ZuResult DetachDataChunks() = 0;
    /// The chunk memory attached now, or null.
    virtual const uint8_t *GetAttachedChunks() const = 0;

    /// Hands the data of a GenICam event to the ports whose EventID it
    /// carries (the data is copied); the nodes that read through them are
    /// invalidated and notified, and listed in aAffected when given.
    /// Fails with ZU_NOT_FOUND when no port takes the event.
    virtual ZuResult DeliverEvent(uint64_t aEventID, const uint8_t *aData, size_t aLength, std::vector<INode *> *aAffected) = 0;

    /// Runs aRead (reads of this map's nodes) only if it needs no waiting:
    /// when the map's lock is free at once, and only as long as no read
    /// must reach the device port. Returns false, with nothing answered,
    /// when it would have waited; what aRead gave must then be dropped and
    /// the reads made the usual way.
    virtual bool ReadWithoutWaiting(void (*aRead)(void *aContext), void *aContext) = 0;
};

/// Builds a node map from a description in memory. aPort is the device
/// port (may be null when the description only reads chunks or holds plain
/// values); it must outlive the map. On failure aMap is reset and the
/// result is ZU_GENICAM_XML_ERROR with a description naming the problem.
ZU_API ZuResult LoadNodeMap(const char *aXml, size_t aLength, IPort *aPort, std::unique_ptr<INodeMap> &aMap);

/// Same, from a zipped description (a ZIP archive holding one .xml file).
ZU_API ZuResult LoadNodeMapFromZip(const uint8_t *aZip, size_t aLength, IPort *aPort, std::unique_ptr<INodeMap> &aMap);

/// Where a GenICam URL says a description is, as a device's URL register
/// gives it: "Local:name.xml;address;length" (hexadecimal, in device
/// memory) or "File:path" on this host; zipped when its name ends in .zip.
struct DescriptionUrl {
    enum class Scheme { Local, File };
    Scheme scheme = Scheme::Local;
    std::string name;      ///< the file's name (a File URL's last path component)
    std::string path;      ///< a File URL's path
    uint64_t address = 0;  ///< a Local URL's address in device memory
    uint64_t length = 0;   ///< a Local URL's length in bytes, 1 to 256 MiB
    bool zipped = false;
};

/// Reads a GenICam URL. The text ends at its first null byte (a URL register
/// is a fixed-size field) and a "?" query is dropped. Fails with
/// ZU_GENICAM_XML_ERROR for a malformed local URL or an unusable length,
/// ZU_NOT_SUPPORTED for another scheme.
ZU_API ZuResult ParseDescriptionUrl(const std::string &aUrl, DescriptionUrl &aOut);

/// Same as LoadNodeMap, from the description a GenICam URL names: a Local
/// one is read through aPort. Other schemes fail with ZU_NOT_SUPPORTED.
ZU_API ZuResult LoadNodeMapFromUrl(const std::string &aUrl, IPort *aPort, std::unique_ptr<INodeMap> &aMap);

/// The XML of a zipped description: the first .xml member of a ZIP archive,
/// stored or deflated. Fails with ZU_GENICAM_XML_ERROR on anything else.
ZuResult UnzipDescription(const uint8_t *aZip, size_t aLength, std::string &aXml);

} // namespace ZU_GENAPI_NS

#endif
