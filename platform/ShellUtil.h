#pragma once
// Shell light-weight utilities: string duplication with the task allocator, path editing and
// the small formatter of user32.

#include "WinTypes.h"

// Copies text into memory from CoTaskMemAlloc; E_OUTOFMEMORY (and null) when that fails.
HRESULT SHStrDupW(LPCWSTR text, LPWSTR* copy);

// Removes the last element of path and its separator; TRUE when something was removed.
BOOL PathRemoveFileSpecW(LPWSTR path);
// Appends more to path (a buffer of MAX_PATH characters) with one separator; FALSE when the
// result would not fit.
BOOL PathAppendW(LPWSTR path, LPCWSTR more);

// Formats into a buffer of at most 1024 characters; supports %d and %u (with width and
// precision), %x, %X, %s (a wide string), %c and %%. Returns the characters written.
int wsprintfW(LPWSTR buffer, LPCWSTR format, ...);
