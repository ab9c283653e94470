#pragma once
// Kernel synchronisation objects: critical sections (recursive, in-process) and mutexes, unnamed
// (in-process) or named (shared by every process of the user by that name, the name compared
// case-sensitively). A mutex is recursive for its owning thread; when its owner ends (thread or
// process) without releasing it, the next wait acquires it and returns WAIT_ABANDONED.

#include "WinTypes.h"

struct CRITICAL_SECTION {
    alignas(16) unsigned char opaque[64];
};

void InitializeCriticalSection(CRITICAL_SECTION* section);
BOOL InitializeCriticalSectionAndSpinCount(CRITICAL_SECTION* section, DWORD spinCount);
void EnterCriticalSection(CRITICAL_SECTION* section);
// Leaving a section the caller does not hold does nothing.
void LeaveCriticalSection(CRITICAL_SECTION* section);
void DeleteCriticalSection(CRITICAL_SECTION* section);

inline constexpr DWORD INFINITE = 0xFFFFFFFFu;
inline constexpr DWORD WAIT_OBJECT_0 = 0;
inline constexpr DWORD WAIT_ABANDONED = 0x80;
inline constexpr DWORD WAIT_TIMEOUT = 0x102;
inline constexpr DWORD WAIT_FAILED = 0xFFFFFFFFu;
inline constexpr DWORD ERROR_ALREADY_EXISTS = 183;
inline constexpr DWORD ERROR_FILENAME_EXCED_RANGE = 206;

// A named mutex that this process already has gives a new handle to it, with the last error
// ERROR_ALREADY_EXISTS and initialOwner ignored. initialOwner of a name new to this process takes
// ownership only when no other process holds the mutex (else ERROR_ALREADY_EXISTS, not owned).
// Null on failure, with the last error set.
HANDLE CreateMutexW(void* security, BOOL initialOwner, LPCWSTR name);
// WAIT_FAILED with ERROR_INVALID_HANDLE for a null or unknown handle.
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
// FALSE with ERROR_NOT_OWNER when the calling thread does not own the mutex.
BOOL ReleaseMutex(HANDLE handle);
// Closing the last handle of a mutex that is still owned abandons it.
BOOL CloseHandle(HANDLE handle);
