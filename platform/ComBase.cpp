// COM core: interface identifiers, the task allocator, apartment counting and the standard
// global interface table.

#include "ComBase.h"
#include "ComObject.h"

#include <atomic>
#include <cstdlib>
#include <map>
#include <mutex>
#include <new>

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IGlobalInterfaceTable = {0x00000146, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const CLSID CLSID_StdGlobalInterfaceTable = {
    0x00000323, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

void* CoTaskMemAlloc(std::size_t size) {
    return std::malloc(size ? size : 1);
}
void CoTaskMemFree(void* block) {
    std::free(block);
}

namespace {
thread_local int apartmentCount = 0;

// One table per process, handed out with a reference for each caller.
class GlobalInterfaceTable final
    : public ComObject<IGlobalInterfaceTable, &IID_IGlobalInterfaceTable> {
public:
    HRESULT RegisterInterfaceInGlobal(IUnknown* object, REFIID riid, DWORD* cookie) override {
        if (!object || !cookie) return E_INVALIDARG;
        void* itf = nullptr;
        HRESULT hr = object->QueryInterface(riid, &itf);
        if (FAILED(hr)) return hr;
        std::lock_guard<std::mutex> guard(lock_);
        *cookie = ++nextCookie_;
        entries_[*cookie] = {static_cast<IUnknown*>(itf), riid};
        return S_OK;
    }
    HRESULT RevokeInterfaceFromGlobal(DWORD cookie) override {
        IUnknown* object = nullptr;
        {
            std::lock_guard<std::mutex> guard(lock_);
            auto it = entries_.find(cookie);
            if (it == entries_.end()) return E_INVALIDARG;
            object = it->second.object;
            entries_.erase(it);
        }
        object->Release();
        return S_OK;
    }
    HRESULT GetInterfaceFromGlobal(DWORD cookie, REFIID riid, void** object) override {
        if (!object) return E_POINTER;
        std::lock_guard<std::mutex> guard(lock_);
        auto it = entries_.find(cookie);
        if (it == entries_.end()) return E_INVALIDARG;
        return it->second.object->QueryInterface(riid, object);
    }

private:
    ~GlobalInterfaceTable() override {
        for (auto& [cookie, entry] : entries_)
            entry.object->Release();
    }
    struct Entry {
        IUnknown* object;
        IID iid;
    };
    std::mutex lock_;
    std::map<DWORD, Entry> entries_;
    DWORD nextCookie_ = 0;
};
} // namespace

HRESULT CoInitialize(void*) {
    return apartmentCount++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    if (apartmentCount > 0) --apartmentCount;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD, REFIID riid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!(clsid == CLSID_StdGlobalInterfaceTable)) return REGDB_E_CLASSNOTREG;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* table = new (std::nothrow) GlobalInterfaceTable();
    if (!table) return E_OUTOFMEMORY;
    HRESULT hr = table->QueryInterface(riid, object);
    table->Release();
    return hr;
}
