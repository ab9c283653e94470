#include "RpcProxy.h"
#include "ComObject.h"

#include "AtlRegistrar.h"
#include "WideString.h"
#include "WinModule.h"
#include "WinReg.h"

#include <atomic>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace {

using quarn_platform::fromWin32;
using quarn_platform::guidText;
using quarn_platform::KeyHolder;

std::mutex gLiveMutex;
std::map<const ProxyFileInfo*, long> gLive; // live factory objects per proxy/stub

// The proxy/stub's class object. Proxies are not built by this layer; the object exists so that
// the module's class-object lookup and unload check behave as with a real proxy/stub.
class PSFactoryBuffer final : public ComObject<IUnknown> {
public:
    explicit PSFactoryBuffer(const ProxyFileInfo* info) : info_(info) {
        std::lock_guard lock(gLiveMutex);
        ++gLive[info_];
    }

private:
    ~PSFactoryBuffer() override {
        std::lock_guard lock(gLiveMutex);
        if (--gLive[info_] <= 0) gLive.erase(info_);
    }

    const ProxyFileInfo* info_;
};

bool validInfo(const ProxyFileInfo* info) {
    if (!info) return false;
    if (info->count && (!info->interfaces || !info->names || !info->methodCounts)) return false;
    for (std::size_t i = 0; i < info->count; ++i)
        if (!info->interfaces[i] || !info->names[i]) return false;
    return true;
}

// The module's full path, however long.
HRESULT modulePath(HMODULE module, std::u16string& path) {
    for (DWORD capacity = MAX_PATH; capacity <= 32768; capacity *= 2) {
        std::vector<WCHAR> buffer(capacity);
        SetLastError(ERROR_SUCCESS);
        DWORD length = GetModuleFileNameW(module, buffer.data(), capacity);
        if (length == 0) {
            DWORD error = GetLastError();
            return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
        }
        if (length < capacity - 1 || GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
            path.assign(buffer.data(), length);
            return S_OK;
        }
    }
    return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
}

bool perUserRegistration() {
    bool perUser = false;
    return SUCCEEDED(AtlGetPerUserRegistration(&perUser)) && perUser;
}

} // namespace

HRESULT NdrDllGetClassObject(REFCLSID clsid, REFIID riid, void** object, const ProxyFileInfo* info,
                             const CLSID* psClsid) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!psClsid || !info || !(clsid == *psClsid)) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) PSFactoryBuffer(info);
    if (!factory) return E_OUTOFMEMORY;
    HRESULT hr = factory->QueryInterface(riid, object);
    factory->Release();
    return hr;
}

HRESULT NdrDllCanUnloadNow(const ProxyFileInfo* info) {
    std::lock_guard lock(gLiveMutex);
    return gLive.count(info) ? S_FALSE : S_OK;
}

HRESULT NdrDllRegisterProxy(HMODULE module, const ProxyFileInfo* info, const CLSID* psClsid) {
    if (!validInfo(info) || !psClsid) return E_INVALIDARG;
    return quarn_platform::inRegistryTransaction([&]() -> HRESULT {
        std::u16string path;
        if (HRESULT hr = modulePath(module, path); FAILED(hr)) return hr;
        KeyHolder classes;
        if (LONG rc = quarn_platform::openClassesKey(perUserRegistration(), true, &classes.key))
            return fromWin32(rc);
        using quarn_platform::writeStringValue;
        const std::u16string factory = guidText(*psClsid);
        for (std::size_t i = 0; i < info->count; ++i) {
            const std::u16string key = u"Interface\\" + guidText(*info->interfaces[i]);
            const std::u16string entries[][2] = {
                {key, info->names[i]},
                {key + u"\\ProxyStubClsid32", factory},
                {key + u"\\NumMethods",
                 quarn_platform::toUtf16(std::to_string(info->methodCounts[i]))},
            };
            for (const auto& [sub, text] : entries)
                if (LONG rc = writeStringValue(classes.key, sub, nullptr, text))
                    return fromWin32(rc);
        }
        const std::u16string cls = u"CLSID\\" + factory;
        if (LONG rc = writeStringValue(classes.key, cls, nullptr, u"PSFactoryBuffer"))
            return fromWin32(rc);
        if (LONG rc = writeStringValue(classes.key, cls + u"\\InprocServer32", nullptr, path))
            return fromWin32(rc);
        if (LONG rc = writeStringValue(classes.key, cls + u"\\InprocServer32", u"ThreadingModel",
                                       u"Both"))
            return fromWin32(rc);
        return S_OK;
    });
}

HRESULT NdrDllUnregisterProxy(HMODULE, const ProxyFileInfo* info, const CLSID* psClsid) {
    if (!validInfo(info) || !psClsid) return E_INVALIDARG;
    return quarn_platform::inRegistryTransaction([&]() -> HRESULT {
        KeyHolder classes;
        LONG rc = quarn_platform::openClassesKey(perUserRegistration(), false, &classes.key);
        if (rc == static_cast<LONG>(ERROR_FILE_NOT_FOUND)) return S_OK;
        if (rc) return fromWin32(rc);
        std::vector<std::u16string> keys;
        for (std::size_t i = 0; i < info->count; ++i)
            keys.push_back(u"Interface\\" + guidText(*info->interfaces[i]));
        keys.push_back(u"CLSID\\" + guidText(*psClsid));
        for (const auto& key : keys) {
            rc = RegDeleteTreeW(classes.key, key.c_str());
            if (rc && rc != static_cast<LONG>(ERROR_FILE_NOT_FOUND)) return fromWin32(rc);
        }
        return S_OK;
    });
}
