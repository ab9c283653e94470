#include "CQuarnPropertyStore.h"
#include "CQuarnShellExtensionVistaModule.h"
#include "ComBoundary.h"
#include "IStreamIO.h"
#include "KVIO_IStreamStream.h"
#include "ObjectRef.h"
#include "QuarnInfoPaths.h"
#include "ShellUtil.h"

#include <new>

namespace {
bool sameKey(REFPROPERTYKEY a, REFPROPERTYKEY b) {
    return a.fmtid == b.fmtid && a.pid == b.pid;
}
} // namespace

// ---- life and identity

CQuarnPropertyStore::CQuarnPropertyStore(IUnknown* outer)
    : inner_(this), controlling_(outer ? outer : &inner_) {
    quarnModule().Lock();
}

CQuarnPropertyStore::~CQuarnPropertyStore() {
    quarnModule().Unlock();
}

HRESULT CQuarnPropertyStore::CreateInstance(IUnknown* outer, IUnknown** inner) {
    if (!inner) return E_POINTER;
    *inner = nullptr;
    auto* object = new (std::nothrow) CQuarnPropertyStore(outer);
    if (!object) return E_OUTOFMEMORY;
    *inner = &object->inner_;
    return S_OK;
}

HRESULT CQuarnPropertyStore::InnerUnknown::QueryInterface(REFIID riid, void** object) {
    return owner_->internalQueryInterface(riid, object);
}
ULONG CQuarnPropertyStore::InnerUnknown::AddRef() {
    return ++refs_;
}
ULONG CQuarnPropertyStore::InnerUnknown::Release() {
    ULONG n = --refs_;
    if (n == 0) delete owner_;
    return n;
}

HRESULT CQuarnPropertyStore::internalQueryInterface(REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    // The interface map, in its order; IUnknown is the non-delegating one.
    if (riid == IID_IDispatch)
        *object = static_cast<IDispatch*>(this);
    else if (riid == IID_IInitializeWithStream)
        *object = static_cast<IInitializeWithStream*>(this);
    else if (riid == IID_IPropertyStore)
        *object = static_cast<IPropertyStore*>(this);
    else if (riid == IID_IPropertyStoreCapabilities)
        *object = static_cast<IPropertyStoreCapabilities*>(this);
    else if (riid == IID_IUnknown) {
        inner_.AddRef();
        *object = static_cast<IUnknown*>(&inner_);
        return S_OK;
    } else
        return E_NOINTERFACE;
    static_cast<IUnknown*>(*object)->AddRef();
    return S_OK;
}

HRESULT CQuarnPropertyStore::QueryInterface(REFIID riid, void** object) {
    return controlling_->QueryInterface(riid, object);
}
ULONG CQuarnPropertyStore::AddRef() {
    return controlling_->AddRef();
}
ULONG CQuarnPropertyStore::Release() {
    return controlling_->Release();
}

// ---- IDispatch

HRESULT CQuarnPropertyStore::GetTypeInfoCount(UINT* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT CQuarnPropertyStore::readDispatchTypeInfo(LCID lcid, ITypeInfo** info) {
    ITypeLib* library = nullptr;
    HRESULT hr = LoadRegTypeLib(quarnModule().libid(), 1, 0, lcid, &library);
    if (FAILED(hr)) return hr;
    hr = library->GetTypeInfoOfGuid(IID_IQuarnPropertyStore, info);
    library->Release();
    return hr;
}

HRESULT CQuarnPropertyStore::GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return TYPE_E_ELEMENTNOTFOUND;
    return readDispatchTypeInfo(lcid, info);
}

HRESULT CQuarnPropertyStore::GetIDsOfNames(REFIID, LPCWSTR* names, UINT count, LCID lcid,
                                           DISPID* ids) {
    ITypeInfo* info = nullptr;
    HRESULT hr = readDispatchTypeInfo(lcid, &info);
    if (FAILED(hr)) return hr;
    hr = info->GetIDsOfNames(names, count, ids);
    info->Release();
    return hr;
}

HRESULT CQuarnPropertyStore::Invoke(DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS* params,
                                    VARIANT* result, EXCEPINFO* exception, UINT* argError) {
    ITypeInfo* info = nullptr;
    HRESULT hr = readDispatchTypeInfo(lcid, &info);
    if (FAILED(hr)) return hr;
    hr =
        info->Invoke(static_cast<IDispatch*>(this), id, flags, params, result, exception, argError);
    info->Release();
    return hr;
}

// ---- IInitializeWithStream

bool CQuarnPropertyStore::probeHeader(const BYTE header[16], DWORD& generation, bool& isRaster) {
    generation = 0;
    isRaster = false;
    if (header[0] != 'q' || header[1] != 'r' || header[2] != 'n' || header[3] != 'd') return false;
    BYTE version = header[4];
    if (version == 1 || version == 2) {
        generation = 2;
        isRaster = true;
    } else if (version == 3) {
        generation = header[5] < 4 ? 3 : 4;
        isRaster = true;
    } else {
        // 4 is a LiDAR file; any other version goes the same way and is refused there.
        generation = version;
    }
    return true;
}

HRESULT CQuarnPropertyStore::Initialize(IStream* stream, DWORD) {
    if (!stream) return E_POINTER;
    bool lidar = false;
    const HRESULT hr = guardComCall([&]() -> HRESULT {
        BYTE header[16] = {};
        ULONG delivered = 0;
        const HRESULT read = stream->Read(header, sizeof header, &delivered);
        if (FAILED(read)) return read;
        // The probe needs bytes 0 to 5; a stream that delivers fewer has no valid header, and
        // bytes it did not deliver are never looked at.
        const bool magicOk = delivered >= 6 && probeHeader(header, generation_, isRaster_);
        if (delivered < 6) {
            generation_ = 0;
            isRaster_ = false;
        }
        if (!magicOk) return E_FAIL;
        if (isRaster_) {
            KVIO_IStreamStream adapter(stream);
            return readRasterInfo(adapter, ratio_, compressionKind_);
        }
        lidar = true;
        return S_OK;
    });
    if (!lidar) return hr;
    Korvel::ObjectRef<IStreamIO> io;
    const HRESULT made = guardComCall(
        [&] {
            io.reset(new IStreamIO(stream));
            return S_OK;
        },
        E_OUTOFMEMORY);
    if (FAILED(made)) return made;
    return readLidarInfo(*io, ratio_, compressionKind_);
}

// ---- IPropertyStore

HRESULT CQuarnPropertyStore::GetCount(DWORD* count) {
    if (!count) return E_POINTER;
    *count = 2;
    return S_OK;
}

HRESULT CQuarnPropertyStore::GetAt(DWORD index, PROPERTYKEY* key) {
    if (!key) return E_POINTER;
    if (index == 0)
        *key = GenerationKey;
    else if (index == 1)
        *key = CompressionKey;
    else
        return E_INVALIDARG;
    return S_OK;
}

HRESULT CQuarnPropertyStore::GetValue(REFPROPERTYKEY key, PROPVARIANT* value) {
    if (!value) return E_POINTER;
    WCHAR text[64];
    if (sameKey(key, GenerationKey)) {
        wsprintfW(text, u"QG%d %s", static_cast<int>(generation_),
                  isRaster_ ? u"Raster" : u"LiDAR");
    } else if (sameKey(key, CompressionKey)) {
        if (compressionKind_ == kLossless)
            wsprintfW(text, u"Lossless");
        else if (compressionKind_ == kLossy)
            wsprintfW(text, u"%.1d:1", static_cast<int>(ratio_));
        else
            text[0] = 0;
    } else {
        return E_INVALIDARG;
    }
    value->vt = VT_LPWSTR;
    HRESULT hr = SHStrDupW(text, &value->pwszVal);
    if (FAILED(hr)) std::memset(value, 0, sizeof *value);
    return hr;
}

HRESULT CQuarnPropertyStore::SetValue(REFPROPERTYKEY, REFPROPVARIANT) {
    return E_FAIL;
}
HRESULT CQuarnPropertyStore::Commit() {
    return E_FAIL;
}

// ---- IPropertyStoreCapabilities

HRESULT CQuarnPropertyStore::IsPropertyWritable(REFPROPERTYKEY) {
    return S_FALSE;
}
