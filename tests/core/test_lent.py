"""What the SDK lends (a buffer's containers and every object found through
them, a parameter array's features, list items, entries and nodes) goes
with its owner: a script that keeps one, as a proxy or as its bare pointer
object, gets the argument error of a freed object afterwards, never freed
memory. Each case runs in a fresh interpreter, so that a crash fails it
alone."""
import pytest

PRELUDE = """
import tarn_base_310 as tb
import tarn_genicam_testext as ext
m = tb._tarn_base_310
"""
# route: (what the kept object is made from, how it is found, how its owner goes,
#         the raw function a use calls)
MULTIPART = """
buffer = tb.ZuBuffer(tb.ZuPayloadTypeMultiPart)
parts = buffer.GetMultiPartContainer()
assert parts.AddImagePart(tb.ZuMultiPart2DImage, 8, 6, tb.ZuPixelMono8).IsOK()
assert parts.AddJPEGPart(tb.ZuMultiPartJPEGImage, 100, 3, 1, 7).IsOK()
assert parts.AddChunkPart(64, 9).IsOK() and parts.AllocAllParts().IsOK()
"""
GENDC = """
buffer = tb.ZuBuffer(tb.ZuPayloadTypeGenDC)
assert buffer.Alloc(1024).IsOK()
gendc = buffer.GetGenDC()
assert gendc.AddComponent(tb.ZuComponentIntensity) == 0 and gendc.AddComponent(tb.ZuComponentMetadata) == 1
assert gendc[0].AddPart(tb.ZuGenDCPart2D, 0) == 0
assert gendc[1].AddPart(tb.ZuGenDCPartMetadataGenICamChunk, 1) == 0
"""
ARRAY = """
array = ext.LoadCamera()
"""
DELETE_BUFFER = "m.delete_ZuBuffer(buffer)"
DELETE_ARRAY = "m.delete_ZuGenParameterArray(array)"

ROUTES = {
    "section": (MULTIPART, "parts.GetPart(0)", DELETE_BUFFER, "IZuMultiPartSection_GetSize"),
    "section image": (MULTIPART, "parts.GetPart(0).GetImage()", DELETE_BUFFER, "IZuImage_GetWidth"),
    "section JPEG": (MULTIPART, "parts.GetPart(1).GetJPEG()", DELETE_BUFFER, "IZuImageJPEG_GetDataSize"),
    "section chunks": (MULTIPART, "parts.GetPart(2).GetChunkData()", DELETE_BUFFER, "IZuChunkData_GetChunkCount"),
    "component": (GENDC, "gendc[0]", DELETE_BUFFER, "IZuGenericDataComponent_GetPartCount"),
    "component by name": (GENDC, "gendc.GetComponent(1)", DELETE_BUFFER, "IZuGenericDataComponent_GetPartCount"),
    "part": (GENDC, "gendc[0].GetPart(0)", DELETE_BUFFER, "IZuGenericDataPart_GetDataSize"),
    "GenDC image": (GENDC, "gendc[0][0].GetGenDCImage()", DELETE_BUFFER, "IZuGenDCImage_GetWidth"),
    "GenDC chunks": (GENDC, "gendc[1][0].GetGenDCChunkData()", DELETE_BUFFER, "IZuGenDCChunkData_GetChunkCount"),
    "GenDC chunk writer": (GENDC, "gendc[1][0].GetGenDCChunkWriter()", DELETE_BUFFER,
                           "IZuGenDCChunkWriter_ResetChunks"),
    "image's buffer": ("buffer = tb.ZuBuffer()\nassert buffer.Alloc(16).IsOK()\n",
                       "buffer.GetImage().GetBuffer()", DELETE_BUFFER, "ZuBuffer_GetSize"),
    "indexed feature": (ARRAY, "array['Width']", DELETE_ARRAY, "ZuGenParameter_GetName"),
    "list item": (ARRAY + "items = tb.ZuGenParameterList()\nitems.Add(array.Get('Width'))\n",
                  "items.GetItem(0)", DELETE_ARRAY, "ZuGenParameter_GetName"),
    "selected item": (ARRAY, "array.Get('Sel').GetSelectedParameters()[1].GetFirst()", DELETE_ARRAY,
                      "ZuGenParameter_GetName"),
    "enum entry": (ARRAY, "array.GetEnum('Mode').GetEntryByIndex(0)[1]", DELETE_ARRAY, "ZuGenEnumEntry_GetName"),
    "list after its own delete": ("items = tb.ZuGenParameterList()\n", "items",
                                  "m.delete_ZuGenParameterList(items)", "ZuGenParameterList_GetSize"),
    "buffer after its own delete": ("buffer = tb.ZuBuffer()\n", "buffer", DELETE_BUFFER, "ZuBuffer_GetSize"),
}


@pytest.mark.parametrize("route", ROUTES)
def test_a_kept_object_refuses_use_once_its_owner_goes(py, route):
    made, found, goes, use = ROUTES[route]
    out = py(PRELUDE + made + f"""
kept = {found}
bare = kept.this
{goes}
for target in (kept, bare):
    try:
        m.{use}(target)
        print("used")
    except TypeError as error:
        print(str(error).split(",")[0])
""").stdout
    assert out.splitlines() == [f"in method '{use}'"] * 2


@pytest.mark.parametrize("found", ["array.Get('Width').GetNode()", "array.GetCategory('Root').GetNode()",
                                   "array.GetNodeMap()"])
def test_a_kept_node_holds_no_address_once_its_array_goes(py, found):
    # A node is an opaque handle that no call takes: what must not outlive
    # the array is its address.
    out = py(PRELUDE + ARRAY + f"""
kept = {found}
print(int(kept) != 0)
{DELETE_ARRAY}
print(int(kept))
""").stdout
    assert out.split() == ["True", "0"]
