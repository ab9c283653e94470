#include "CQuarnShellExtensionVistaModule.h"
#include "CQuarnClassFactory.h"
#include "OleAuto.h"
#include "QuarnShellExtensionVista.h"
#include "WinModule.h"

#include <new>

namespace {

// Restores the thread locale when registration leaves, whichever way it leaves.
class ThreadLocaleScope {
public:
    ThreadLocaleScope() : saved_(GetThreadLocale()) { SetThreadLocale(LOCALE_SYSTEM_DEFAULT); }
    ~ThreadLocaleScope() { SetThreadLocale(saved_); }
    ThreadLocaleScope(const ThreadLocaleScope&) = delete;
    ThreadLocaleScope& operator=(const ThreadLocaleScope&) = delete;

private:
    LCID saved_;
};

bool perUser() {
    bool flag = false;
    return SUCCEEDED(AtlGetPerUserRegistration(&flag)) && flag;
}

} // namespace

CQuarnShellExtensionVistaModule::CQuarnShellExtensionVistaModule()
    : libid_(&LIBID_QuarnShellExtensionVistaLib) {
    initialized_ = InitializeCriticalSectionAndSpinCount(&lock_, 0) != FALSE;
}

CQuarnShellExtensionVistaModule::~CQuarnShellExtensionVistaModule() {
    if (classFactory_) classFactory_->Release();
    if (git_) git_->Release();
    if (initialized_) DeleteCriticalSection(&lock_);
}

LONG CQuarnShellExtensionVistaModule::Lock() {
    return ++lockCount_;
}
LONG CQuarnShellExtensionVistaModule::Unlock() {
    return --lockCount_;
}
LONG CQuarnShellExtensionVistaModule::GetLockCount() {
    return lockCount_;
}

HRESULT CQuarnShellExtensionVistaModule::GetGITPtr(IGlobalInterfaceTable** table) {
    if (!table) return E_POINTER;
    *table = nullptr;
    if (!initialized_) return E_UNEXPECTED;
    HRESULT hr = S_OK;
    EnterCriticalSection(&lock_);
    if (!git_)
        hr = CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&git_));
    if (SUCCEEDED(hr)) {
        git_->AddRef();
        *table = git_;
    }
    LeaveCriticalSection(&lock_);
    return hr;
}

HRESULT CQuarnShellExtensionVistaModule::AddCommonRGSReplacements(CRegObject* registrar) {
    WCHAR appId[40];
    StringFromGUID2(APPID_QuarnShellExtensionVista, appId, 40);
    return registrar->AddReplacement(u"APPID", appId);
}

HRESULT CQuarnShellExtensionVistaModule::GetClassObject(REFCLSID clsid, REFIID riid,
                                                        void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!(clsid == CLSID_QuarnPropertyStore)) return CLASS_E_CLASSNOTAVAILABLE;
    if (!initialized_) return E_UNEXPECTED;
    HRESULT hr = S_OK;
    EnterCriticalSection(&lock_);
    if (!classFactory_) {
        classFactory_ = new (std::nothrow) CQuarnClassFactory();
        if (!classFactory_) hr = E_OUTOFMEMORY;
    }
    if (SUCCEEDED(hr)) hr = classFactory_->QueryInterface(riid, object);
    LeaveCriticalSection(&lock_);
    return hr;
}

HRESULT CQuarnShellExtensionVistaModule::runScript(int resourceId, bool doRegister) {
    const ResourceEntry* script = FindModuleResource(instance_, u"REGISTRY", resourceId);
    if (!script) return HRESULT_FROM_WIN32(ERROR_RESOURCE_NOT_FOUND);
    WCHAR modulePath[MAX_PATH];
    if (GetModuleFileNameW(instance_, modulePath, MAX_PATH) == 0)
        return HRESULT_FROM_WIN32(GetLastError());
    CRegObject registrar;
    HRESULT hr = registrar.AddReplacement(u"MODULE", modulePath);
    if (SUCCEEDED(hr)) hr = AddCommonRGSReplacements(&registrar);
    if (FAILED(hr)) return hr;
    auto text = static_cast<LPCWSTR>(script->data);
    return doRegister ? registrar.StringRegister(text) : registrar.StringUnregister(text);
}

HRESULT CQuarnShellExtensionVistaModule::RegisterServer() {
    ThreadLocaleScope locale;
    HRESULT hr = runScript(IDR_QUARNSHELLEXTENSIONVISTA, true);
    if (FAILED(hr)) return hr;
    // The object map: one class, no component categories.
    hr = runScript(IDR_QUARNPROPERTYSTORE, true);
    if (FAILED(hr)) return hr;

    WCHAR modulePath[MAX_PATH];
    if (GetModuleFileNameW(instance_, modulePath, MAX_PATH) == 0)
        return HRESULT_FROM_WIN32(GetLastError());
    ITypeLib* library = nullptr;
    hr = LoadTypeLib(modulePath, &library);
    if (FAILED(hr)) return hr;
    hr = perUser() ? RegisterTypeLibForUser(library, modulePath, nullptr)
                   : RegisterTypeLib(library, modulePath, nullptr);
    library->Release();
    return hr;
}

HRESULT CQuarnShellExtensionVistaModule::UnregisterServer() {
    ThreadLocaleScope locale;
    HRESULT hr = runScript(IDR_QUARNPROPERTYSTORE, false);
    if (FAILED(hr)) return hr;
    // A type library that is not (or no longer) registered does not stop the removal of the
    // AppID entries: the result is that of the last step.
    if (perUser())
        UnRegisterTypeLibForUser(*libid_, 1, 0, 0x409, SYS_WIN64);
    else
        UnRegisterTypeLib(*libid_, 1, 0, 0x409, SYS_WIN64);
    return runScript(IDR_QUARNSHELLEXTENSIONVISTA, false);
}
