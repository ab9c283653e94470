#pragma once
// The registrar: runs registry scripts in register or unregister mode.
//
// A script is a list of root blocks, "HKCR { ... }" (also HKCU, HKLM, HKU and the long names
// HKEY_CLASSES_ROOT, ...). Inside a block, each entry is
//     [NoRemove | ForceRemove | Delete] name [= s 'text' | = d 'number'] [{ entries }]
// or, for a named value of the enclosing key,
//     val name = s 'text' | val name = d 'number'
// Names are bare words or 'quoted' ('' is a quote); %NAME% is replaced by the text added with
// AddReplacement and %% is a literal %. The whole script is checked before anything is written,
// so a syntax error or an unknown replacement changes nothing.
//
// Register: keys are created and values set; a ForceRemove key is first deleted with its subtree;
// a Delete key is deleted and not re-created. Unregister: a NoRemove key stays (its children and
// named values are processed); a ForceRemove key goes with its subtree; any other key has its
// children processed and its named values deleted, and goes when no subkey is left.
//
// With per-user registration on, HKCR in scripts means HKCU\Software\Classes.

#include "WinTypes.h"

#include <map>
#include <string>

// The failure the registrar reports for a script it cannot parse.
inline constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009u);

class CRegObject {
public:
    // Adds (or replaces) the text of %key%; keys compare case-insensitively.
    HRESULT AddReplacement(LPCWSTR key, LPCWSTR item);
    HRESULT ClearReplacements();
    HRESULT StringRegister(LPCWSTR script);
    HRESULT StringUnregister(LPCWSTR script);

private:
    HRESULT run(LPCWSTR script, bool doRegister);

    std::map<std::u16string, std::u16string> replacements_; // by folded key
};

// Process-wide switch between machine-wide and per-user registration.
void AtlSetPerUserRegistration(bool perUser);
HRESULT AtlGetPerUserRegistration(bool* perUser);
