#include "CQuarnClassFactory.h"
#include "CQuarnPropertyStore.h"
#include "CQuarnShellExtensionVistaModule.h"

HRESULT CQuarnClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer && !(riid == IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    IUnknown* inner = nullptr;
    HRESULT hr = CQuarnPropertyStore::CreateInstance(outer, &inner);
    if (FAILED(hr)) return hr;
    // The query adds the caller's reference; releasing the creation reference leaves exactly
    // that one, or destroys the object when the query failed.
    hr = inner->QueryInterface(riid, object);
    inner->Release();
    return hr;
}

HRESULT CQuarnClassFactory::LockServer(BOOL lock) {
    if (lock)
        quarnModule().Lock();
    else
        quarnModule().Unlock();
    return S_OK;
}
