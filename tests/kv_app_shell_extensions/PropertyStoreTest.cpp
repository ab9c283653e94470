// The property store as a client of the property system sees it: header probe, the two texts,
// the read-only store and the object's interfaces.

#include "CQuarnPropertyStore.h"
#include "CQuarnShellExtensionVistaModule.h"
#include "HandlerTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using quarn_test::SparseStream;

namespace {

std::vector<BYTE> header(BYTE version, BYTE byte5, std::size_t length = 16) {
    const BYTE head[] = {'q', 'r', 'n', 'd', version, byte5};
    std::vector<BYTE> bytes(length, 0);
    std::copy_n(head, std::min(length, sizeof head), bytes.begin());
    return bytes;
}

// A handler object created through the module's class object, as the property system does.
class Handler {
public:
    Handler() {
        IClassFactory* factory = nullptr;
        EXPECT_EQ(S_OK, DllGetClassObject(CLSID_QuarnPropertyStore, IID_IClassFactory,
                                          reinterpret_cast<void**>(&factory)));
        EXPECT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IPropertyStore,
                                                reinterpret_cast<void**>(&store)));
        factory->Release();
        EXPECT_EQ(S_OK, store->QueryInterface(IID_IInitializeWithStream,
                                              reinterpret_cast<void**>(&init)));
    }
    ~Handler() {
        init->Release();
        store->Release();
    }
    Handler(const Handler&) = delete;
    Handler& operator=(const Handler&) = delete;

    HRESULT initialize(std::vector<BYTE> bytes) {
        const std::uint64_t length = bytes.size();
        SparseStream stream({{0, std::move(bytes)}}, length);
        HRESULT hr = init->Initialize(&stream, STGM_READ);
        EXPECT_EQ(1u, stream.refs) << "the handler keeps no reference to the stream";
        return hr;
    }
    std::u16string text(const PROPERTYKEY& key) {
        PROPVARIANT value;
        PropVariantInit(&value);
        EXPECT_EQ(S_OK, store->GetValue(key, &value));
        EXPECT_EQ(VT_LPWSTR, value.vt);
        std::u16string result = value.pwszVal ? value.pwszVal : u"<null>";
        PropVariantClear(&value);
        return result;
    }
    std::u16string generation() { return text(GenerationKey); }
    std::u16string compression() { return text(CompressionKey); }

    IPropertyStore* store = nullptr;
    IInitializeWithStream* init = nullptr;
};

TEST(HeaderProbe, EveryRowOfTheTable) {
    // A 16-byte raster file is too short for the raster reader, which refuses it with a status
    // of its own, positive (success to a COM caller); the LiDAR reader refuses it with E_FAIL.
    constexpr HRESULT kLibraryStatus = 1;
    struct Row {
        BYTE version, byte5;
        HRESULT result;
        const char16_t* generation;
    };
    const Row rows[] = {
        {1, 0, kLibraryStatus, u"QG2 Raster"}, {2, 9, kLibraryStatus, u"QG2 Raster"},
        {3, 0, kLibraryStatus, u"QG3 Raster"}, {3, 3, kLibraryStatus, u"QG3 Raster"},
        {3, 4, kLibraryStatus, u"QG4 Raster"}, {3, 255, kLibraryStatus, u"QG4 Raster"},
        {4, 0, E_FAIL, u"QG4 LiDAR"},          {4, 7, E_FAIL, u"QG4 LiDAR"},
        {0, 0, E_FAIL, u"QG0 LiDAR"},          {5, 0, E_FAIL, u"QG5 LiDAR"},
        {7, 0, E_FAIL, u"QG7 LiDAR"},          {255, 0, E_FAIL, u"QG255 LiDAR"},
    };
    for (const Row& row : rows) {
        Handler handler;
        HRESULT hr = handler.initialize(header(row.version, row.byte5));
        if (row.result == kLibraryStatus)
            EXPECT_GT(hr, S_FALSE);
        else
            EXPECT_EQ(row.result, hr);
        EXPECT_EQ(row.generation, handler.generation())
            << "version " << int(row.version) << " byte5 " << int(row.byte5);
        EXPECT_EQ(u"", handler.compression());
    }
}

TEST(HeaderProbe, WrongMagicAndShortStreams) {
    for (const char* magic : {"QRND", "qrnD", "xrnd", "qrn\0"}) {
        Handler handler;
        std::vector<BYTE> bytes = header(3, 0);
        std::copy(magic, magic + 4, bytes.begin());
        EXPECT_EQ(E_FAIL, handler.initialize(bytes));
        EXPECT_EQ(u"QG0 LiDAR", handler.generation());
        EXPECT_EQ(u"", handler.compression());
    }
    // Fewer than six bytes delivered: a wrong magic, whatever the bytes that did arrive.
    for (std::size_t length : {0u, 4u, 5u}) {
        Handler handler;
        EXPECT_EQ(E_FAIL, handler.initialize(header(3, 0, length))) << length;
        EXPECT_EQ(u"QG0 LiDAR", handler.generation());
    }
    // Six bytes are enough for the probe.
    Handler handler;
    EXPECT_TRUE(SUCCEEDED(handler.initialize(header(3, 4, 6))));
    EXPECT_EQ(u"QG4 Raster", handler.generation());
}

TEST(HeaderProbe, ReadFailureIsReturnedAndChangesNothing) {
    Handler handler;
    ASSERT_TRUE(SUCCEEDED(handler.initialize(header(3, 4))));
    SparseStream failing({}, 16);
    failing.readResult = STG_E_READFAULT;
    EXPECT_EQ(STG_E_READFAULT, handler.init->Initialize(&failing, STGM_READ));
    EXPECT_EQ(u"QG4 Raster", handler.generation());
    EXPECT_EQ(E_POINTER, handler.init->Initialize(nullptr, STGM_READ));
}

TEST(HeaderProbe, SecondInitializeProbesAgain) {
    Handler handler;
    EXPECT_EQ(u"QG0 LiDAR", handler.generation());
    ASSERT_TRUE(SUCCEEDED(handler.initialize(header(1, 0))));
    EXPECT_EQ(u"QG2 Raster", handler.generation());
    EXPECT_EQ(E_FAIL, handler.initialize(header(9, 0)));
    EXPECT_EQ(u"QG9 LiDAR", handler.generation());
}

TEST(PropertyStore, KeysAndReadOnlyOperations) {
    Handler handler;
    DWORD count = 0;
    EXPECT_EQ(S_OK, handler.store->GetCount(&count));
    EXPECT_EQ(2u, count);

    PROPERTYKEY key{};
    EXPECT_EQ(S_OK, handler.store->GetAt(0, &key));
    EXPECT_TRUE(key.fmtid == GenerationKey.fmtid && key.pid == 10);
    EXPECT_EQ(S_OK, handler.store->GetAt(1, &key));
    EXPECT_TRUE(key.fmtid == CompressionKey.fmtid && key.pid == 20);
    PROPERTYKEY untouched = {{1, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}}, 12};
    PROPERTYKEY probe = untouched;
    EXPECT_EQ(E_INVALIDARG, handler.store->GetAt(2, &probe));
    EXPECT_EQ(0, std::memcmp(&probe, &untouched, sizeof probe));

    // A pid belongs to its own format identifier.
    PROPVARIANT value;
    std::memset(&value, 0x5A, sizeof value);
    PROPVARIANT before = value;
    PROPERTYKEY mixed = {GenerationKey.fmtid, 20};
    EXPECT_EQ(E_INVALIDARG, handler.store->GetValue(mixed, &value));
    PROPERTYKEY other = {CompressionKey.fmtid, 10};
    EXPECT_EQ(E_INVALIDARG, handler.store->GetValue(other, &value));
    EXPECT_EQ(0, std::memcmp(&value, &before, sizeof value));

    PropVariantInit(&value);
    EXPECT_EQ(E_FAIL, handler.store->SetValue(GenerationKey, value));
    EXPECT_EQ(E_FAIL, handler.store->Commit());

    IPropertyStoreCapabilities* capabilities = nullptr;
    ASSERT_EQ(S_OK, handler.store->QueryInterface(IID_IPropertyStoreCapabilities,
                                                  reinterpret_cast<void**>(&capabilities)));
    EXPECT_EQ(S_FALSE, capabilities->IsPropertyWritable(GenerationKey));
    EXPECT_EQ(S_FALSE, capabilities->IsPropertyWritable(CompressionKey));
    EXPECT_EQ(S_FALSE, capabilities->IsPropertyWritable(mixed));
    capabilities->Release();
}

TEST(PropertyStore, InterfaceMap) {
    Handler handler;
    const IID* answered[] = {&IID_IUnknown, &IID_IDispatch, &IID_IInitializeWithStream,
                             &IID_IPropertyStore, &IID_IPropertyStoreCapabilities};
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK,
              handler.store->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    for (const IID* iid : answered) {
        IUnknown* itf = nullptr;
        ASSERT_EQ(S_OK, handler.store->QueryInterface(*iid, reinterpret_cast<void**>(&itf)));
        IUnknown* back = nullptr;
        ASSERT_EQ(S_OK, itf->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&back)));
        EXPECT_EQ(identity, back) << "every interface leads to one identity";
        back->Release();
        itf->Release();
    }
    identity->Release();

    const IID* refused[] = {&IID_IQuarnPropertyStore, &IID_IClassFactory, &IID_IStream};
    for (const IID* iid : refused) {
        void* itf = reinterpret_cast<void*>(1);
        EXPECT_EQ(E_NOINTERFACE, handler.store->QueryInterface(*iid, &itf));
        EXPECT_EQ(nullptr, itf);
    }

    IDispatch* dispatch = nullptr;
    ASSERT_EQ(S_OK,
              handler.store->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch)));
    UINT count = 0;
    EXPECT_EQ(S_OK, dispatch->GetTypeInfoCount(&count));
    EXPECT_EQ(1u, count);
    EXPECT_EQ(E_POINTER, dispatch->GetTypeInfoCount(nullptr));
    dispatch->Release();
}

TEST(Module, LocksWhileObjectsLive) {
    LONG before = quarnModule().GetLockCount();
    {
        Handler handler;
        EXPECT_EQ(before + 1, quarnModule().GetLockCount());
    }
    EXPECT_EQ(before, quarnModule().GetLockCount());
}

} // namespace
