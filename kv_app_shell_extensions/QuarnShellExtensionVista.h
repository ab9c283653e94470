#pragma once
// Identifiers of the handler module: its class, type library, AppID, dual interface and the two
// property keys it answers for.

#include "OleAuto.h"
#include "PropSys.h"
#include "WinModule.h"

extern const CLSID CLSID_QuarnPropertyStore;
extern const GUID LIBID_QuarnShellExtensionVistaLib;
extern const GUID APPID_QuarnShellExtensionVista;
extern const IID IID_IQuarnPropertyStore;

extern const PROPERTYKEY GenerationKey;
extern const PROPERTYKEY CompressionKey;

// The dual interface of the class: IDispatch only, no methods of its own.
struct IQuarnPropertyStore : IDispatch {};

// Resource identifiers.
inline constexpr int IDR_QUARNSHELLEXTENSIONVISTA = 101;
inline constexpr int IDR_QUARNPROPERTYSTORE = 102;
inline constexpr int IDS_PROJNAME = 100;
inline constexpr int IDR_TYPELIB = 1;

// The module's resources; its address is the module's instance handle.
extern const ModuleDescriptor QuarnModuleResources;
