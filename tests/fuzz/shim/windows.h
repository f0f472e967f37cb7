// The few Win32 names that the recording sources and their headers use, for a native build
// of the parsers under the fuzzers. The calls themselves are in win32_shim.cpp.
#pragma once
#include <cstddef>
#include <cstdint>

typedef unsigned int UINT;
typedef unsigned long DWORD;
typedef int BOOL;
typedef unsigned short ATOM;
typedef void* HANDLE;
typedef void* HWND;
typedef void* HINSTANCE;
typedef void* LPVOID;
typedef const char* LPCSTR;
typedef size_t SIZE_T;
typedef struct SecurityAttributes* LPSECURITY_ATTRIBUTES;
typedef intptr_t INT_PTR;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
#define WINAPI
#define CALLBACK
#define MB_OK 0

HINSTANCE GetModuleHandleA(const char* name);
int LoadStringW(HINSTANCE instance, UINT id, wchar_t* buffer, int size);
int MessageBoxW(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);
