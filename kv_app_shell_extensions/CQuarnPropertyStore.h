#pragma once
// The handler's one COM object: it probes a file's header, lets the raster or LiDAR path fill in
// the compression, and answers for two read-only text properties.

#include "QuarnShellExtensionVista.h"

#include <atomic>

class CQuarnPropertyStore final : public IQuarnPropertyStore,
                                  public IInitializeWithStream,
                                  public IPropertyStore,
                                  public IPropertyStoreCapabilities {
public:
    // compressionKind values.
    static constexpr DWORD kLossless = 0;
    static constexpr DWORD kLossy = 1;
    static constexpr DWORD kUnknown = 2;

    // Creates an object aggregated by outer (or standing alone when outer is null) and hands out
    // its controlling IUnknown with one reference: the outer object keeps it when aggregated.
    static HRESULT CreateInstance(IUnknown* outer, IUnknown** inner);

    // Classifies a header by its magic "qrnd" and version bytes 4 and 5. Returns false for a
    // wrong magic; generation and raster flag are set either way.
    static bool probeHeader(const BYTE header[16], DWORD& generation, bool& isRaster);

    // IUnknown (delegating to the controlling unknown).
    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;

    // IDispatch, served from the module's registered type library.
    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT GetIDsOfNames(REFIID riid, LPCWSTR* names, UINT count, LCID lcid, DISPID* ids) override;
    HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* exception, UINT* argError) override;

    // IInitializeWithStream.
    HRESULT Initialize(IStream* stream, DWORD mode) override;

    // IPropertyStore.
    HRESULT GetCount(DWORD* count) override;
    HRESULT GetAt(DWORD index, PROPERTYKEY* key) override;
    HRESULT GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override;
    HRESULT SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) override;
    HRESULT Commit() override;

    // IPropertyStoreCapabilities.
    HRESULT IsPropertyWritable(REFPROPERTYKEY key) override;

private:
    // The non-delegating IUnknown that owns the object's life.
    class InnerUnknown final : public IUnknown {
    public:
        explicit InnerUnknown(CQuarnPropertyStore* owner) : owner_(owner) {}
        HRESULT QueryInterface(REFIID riid, void** object) override;
        ULONG AddRef() override;
        ULONG Release() override;

    private:
        CQuarnPropertyStore* owner_;
        std::atomic<ULONG> refs_{1};
    };

    explicit CQuarnPropertyStore(IUnknown* outer);
    ~CQuarnPropertyStore();
    CQuarnPropertyStore(const CQuarnPropertyStore&) = delete;
    CQuarnPropertyStore& operator=(const CQuarnPropertyStore&) = delete;

    HRESULT internalQueryInterface(REFIID riid, void** object);
    HRESULT readDispatchTypeInfo(LCID lcid, ITypeInfo** info);

    InnerUnknown inner_;
    IUnknown* controlling_;

    DWORD generation_ = 0;
    bool isRaster_ = false;
    DWORD ratio_ = 0xFFFFFFFF;
    DWORD compressionKind_ = kUnknown;
};
