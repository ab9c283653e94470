// Fuzz target: the handler as the property system drives it. A class object from the module, an
// object from it, Initialize over a memory stream of the bytes (the raster or the LiDAR path,
// by the header), then both property values. Initialize may fail; it must not crash, hang or
// let an exception out.

#include "QuarnShellExtensionVista.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>

extern "C" HRESULT DllGetClassObject(REFCLSID, REFIID, void**);

namespace {

// Each value must come back as a text, whatever Initialize said.
void readValue(IPropertyStore* store, const PROPERTYKEY& key) {
    PROPVARIANT value;
    PropVariantInit(&value);
    if (store->GetValue(key, &value) != S_OK || value.vt != VT_LPWSTR || value.pwszVal == nullptr)
        std::abort();
    PropVariantClear(&value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > std::numeric_limits<UINT>::max()) return 0;
    IStream* stream = SHCreateMemStream(data, static_cast<UINT>(size));
    if (stream == nullptr) return 0;

    IClassFactory* factory = nullptr;
    if (FAILED(DllGetClassObject(CLSID_QuarnPropertyStore, IID_IClassFactory,
                                 reinterpret_cast<void**>(&factory))))
        std::abort();
    IInitializeWithStream* init = nullptr;
    const HRESULT created = factory->CreateInstance(nullptr, IID_IInitializeWithStream,
                                                    reinterpret_cast<void**>(&init));
    factory->Release();
    if (FAILED(created)) std::abort();

    init->Initialize(stream, STGM_READ);
    IPropertyStore* store = nullptr;
    if (FAILED(init->QueryInterface(IID_IPropertyStore, reinterpret_cast<void**>(&store))))
        std::abort();
    readValue(store, GenerationKey);
    readValue(store, CompressionKey);
    store->Release();
    init->Release();
    stream->Release();
    return 0;
}
