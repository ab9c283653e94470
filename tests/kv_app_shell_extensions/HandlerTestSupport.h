#pragma once
// Runs the handler on bytes as the property system would: a class object from the module, an
// object from it, Initialize with a stream, and the two texts.

#include "CQuarnPropertyStore.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

extern "C" HRESULT DllGetClassObject(REFCLSID, REFIID, void**);

namespace quarn_test {

struct HandlerResult {
    HRESULT initialize = E_UNEXPECTED;
    std::u16string generation;
    std::u16string compression;
};

inline std::u16string propertyText(IPropertyStore* store, const PROPERTYKEY& key) {
    PROPVARIANT value;
    PropVariantInit(&value);
    EXPECT_EQ(S_OK, store->GetValue(key, &value));
    std::u16string text = value.vt == VT_LPWSTR && value.pwszVal ? value.pwszVal : u"<none>";
    PropVariantClear(&value);
    return text;
}

// Initialises a new handler object on the stream and reads both texts.
inline HandlerResult runHandler(IStream* stream) {
    HandlerResult result;
    IClassFactory* factory = nullptr;
    if (FAILED(DllGetClassObject(CLSID_QuarnPropertyStore, IID_IClassFactory,
                                 reinterpret_cast<void**>(&factory))))
        return result;
    IInitializeWithStream* init = nullptr;
    HRESULT hr = factory->CreateInstance(nullptr, IID_IInitializeWithStream,
                                         reinterpret_cast<void**>(&init));
    factory->Release();
    if (FAILED(hr)) return result;
    result.initialize = init->Initialize(stream, STGM_READ);
    IPropertyStore* store = nullptr;
    if (SUCCEEDED(init->QueryInterface(IID_IPropertyStore, reinterpret_cast<void**>(&store)))) {
        result.generation = propertyText(store, GenerationKey);
        result.compression = propertyText(store, CompressionKey);
        store->Release();
    }
    init->Release();
    return result;
}

inline HandlerResult runHandler(const std::vector<std::uint8_t>& bytes) {
    IStream* stream = SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size()));
    HandlerResult result = runHandler(stream);
    stream->Release();
    return result;
}

} // namespace quarn_test
