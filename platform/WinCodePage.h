#pragma once
// Conversion between the active code page and UTF-16. The active code page of this stand-in is
// Windows-1252 (Western European).

#include "WinTypes.h"

inline constexpr UINT CP_ACP = 0;
inline constexpr UINT CP_THREAD_ACP = 3;
inline constexpr UINT CP_WINDOWS_1252 = 1252;

// The active code page: 1252.
UINT GetACP();

// Both follow the Win32 contract: a source length of -1 means zero-terminated, terminator
// included; a destination capacity of 0 asks for the length needed. They return the units
// written (or needed), or 0 with the last error set: ERROR_INVALID_PARAMETER for a null source,
// an unknown code page or flags, ERROR_INSUFFICIENT_BUFFER when the destination is too small.
// Code pages accepted: CP_ACP, CP_THREAD_ACP and 1252. Flags must be 0.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceBytes, LPWSTR target,
                        int targetUnits);
// Characters without a code in the page become the default character ('?' unless one is given),
// and *usedDefaultChar, when given, tells whether that happened. A surrogate pair is one
// character.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceUnits, LPSTR target,
                        int targetBytes, LPCSTR defaultChar, BOOL* usedDefaultChar);
