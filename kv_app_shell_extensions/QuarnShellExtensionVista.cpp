// The module's entry points: class objects, unloading, registration of the server and of the
// property schema. Each consults the merged proxy/stub of the dual interface first.

#include "QuarnShellExtensionVista.h"
#include "CQuarnShellExtensionVistaModule.h"
#include "RpcProxy.h"
#include "ShellUtil.h"
#include "WideString.h"
#include "WinModule.h"
#include "WinReg.h"

#define QUARN_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

CQuarnShellExtensionVistaModule module;

// The proxy/stub of IQuarnPropertyStore; its class identifier is the interface's own.
const IID* const proxyInterfaces[] = {&IID_IQuarnPropertyStore};
const LPCWSTR proxyNames[] = {u"IQuarnPropertyStore"};
const ULONG proxyMethodCounts[] = {7};
const ProxyFileInfo proxyInfo = {proxyInterfaces, proxyNames, proxyMethodCounts, 1};
const CLSID* proxyClsid() {
    return &IID_IQuarnPropertyStore;
}

enum { DLL_PROCESS_DETACH = 0, DLL_PROCESS_ATTACH = 1 };

BOOL DllMain(HINSTANCE instance, DWORD reason, void*) {
    if (reason == DLL_PROCESS_ATTACH) {
        module.setInstance(instance);
        RegisterModuleInstance(instance);
        return module.initialized() ? TRUE : FALSE;
    }
    if (reason == DLL_PROCESS_DETACH) UnregisterModuleInstance(instance);
    return TRUE;
}

// The loader's calls of DllMain, made after the module object is constructed and before it is
// destroyed: the module's instance is the address of its resources.
struct ProcessAttachment {
    ProcessAttachment() { DllMain(instance(), DLL_PROCESS_ATTACH, nullptr); }
    ~ProcessAttachment() { DllMain(instance(), DLL_PROCESS_DETACH, nullptr); }
    static HINSTANCE instance() { return const_cast<ModuleDescriptor*>(&QuarnModuleResources); }
} attachment;

// Unregistration after a failed or requested removal: the module, then the proxy/stub entries
// (written once more so that their removal finds them), each only after the step before it.
HRESULT unregisterAll() {
    HRESULT hr = module.UnregisterServer();
    if (SUCCEEDED(hr)) hr = NdrDllRegisterProxy(module.instance(), &proxyInfo, proxyClsid());
    if (SUCCEEDED(hr)) hr = NdrDllUnregisterProxy(module.instance(), &proxyInfo, proxyClsid());
    return hr;
}

HRESULT schemaOperation(HRESULT (*operation)(LPCWSTR)) {
    HRESULT hr = CoInitialize(nullptr);
    if (FAILED(hr)) return hr;
    WCHAR path[MAX_PATH] = {};
    if (GetModuleFileNameW(module.instance(), path, MAX_PATH) && PathRemoveFileSpecW(path) &&
        PathAppendW(path, u"QuarnShellExtensionVista.propdesc")) {
        hr = operation(path);
        CoUninitialize();
        return hr;
    }
    hr = HRESULT_FROM_WIN32(GetLastError());
    CoUninitialize();
    return FAILED(hr) ? hr : E_FAIL;
}

} // namespace

CQuarnShellExtensionVistaModule& quarnModule() {
    return module;
}

QUARN_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** object) {
    HRESULT hr = NdrDllGetClassObject(clsid, riid, object, &proxyInfo, proxyClsid());
    if (SUCCEEDED(hr)) return hr;
    return module.GetClassObject(clsid, riid, object);
}

QUARN_EXPORT HRESULT DllCanUnloadNow() {
    if (NdrDllCanUnloadNow(&proxyInfo) != S_OK) return S_FALSE;
    return module.GetLockCount() == 0 ? S_OK : S_FALSE;
}

// Each registration and unregistration is one registry transaction: other processes see the
// registry before or after it, and one that fails leaves the registry as it was.
QUARN_EXPORT HRESULT DllRegisterServer() {
    return quarn_platform::inRegistryTransaction([] {
        HRESULT hr = module.RegisterServer();
        if (FAILED(hr)) return hr;
        return NdrDllRegisterProxy(module.instance(), &proxyInfo, proxyClsid());
    });
}

QUARN_EXPORT HRESULT DllUnregisterServer() {
    return quarn_platform::inRegistryTransaction(unregisterAll);
}

QUARN_EXPORT HRESULT DllInstall(BOOL install, LPCWSTR commandLine) {
    // Exactly "user", in any letter case, switches to per-user registration from now on.
    if (commandLine && lstrcmpiW(commandLine, u"user") == 0) AtlSetPerUserRegistration(true);
    if (!install) return DllUnregisterServer();
    return quarn_platform::inRegistryTransaction([] {
        HRESULT hr = DllRegisterServer();
        if (FAILED(hr)) unregisterAll();
        return hr;
    });
}

QUARN_EXPORT HRESULT InstallPropertySchema() {
    return schemaOperation(PSRegisterPropertySchema);
}

QUARN_EXPORT HRESULT UninstallPropertySchema() {
    return schemaOperation(PSUnregisterPropertySchema);
}
