// A read-only registry in the shape of the Windows calls, loaded from `.reg`
// text files. Called by the driver list, by drivers reading their settings and
// by the object loader looking up a class's module.
#pragma once

#include "platform/WinTypes.h"

#include <string>
#include <vector>

// Opaque: a predefined root or a key opened by RegOpenKeyExA.
struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;

extern HKEY__ g_hkeyClassesRoot;
extern HKEY__ g_hkeyCurrentUser;
extern HKEY__ g_hkeyLocalMachine;
inline HKEY const HKEY_CLASSES_ROOT = &g_hkeyClassesRoot;
inline HKEY const HKEY_CURRENT_USER = &g_hkeyCurrentUser;
inline HKEY const HKEY_LOCAL_MACHINE = &g_hkeyLocalMachine;

constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_KEY_DELETED = 1018;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_DWORD = 4;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_READ = 0x20019;

// Opens the key at subKey ("a\b\c", names in any case) below key. A null or
// empty subKey opens key itself again. Asking for write access gives
// ERROR_ACCESS_DENIED: nothing here is ever written back.
LONG RegOpenKeyExA(HKEY key, const char* subKey, DWORD options, REGSAM desired, PHKEY result);
// RegOpenKeyExA with no options and KEY_READ.
LONG RegOpenKeyA(HKEY key, const char* subKey, PHKEY result);

// Name of the index-th subkey in case-insensitive alphabetical order, into a
// buffer of nameSize characters, terminator included. ERROR_NO_MORE_ITEMS
// past the last one; ERROR_MORE_DATA (buffer untouched) when the name does
// not fit.
LONG RegEnumKeyA(HKEY key, DWORD index, char* name, DWORD nameSize);

// Reads a value; a null or empty valueName is the key's default value ("@").
// *type (when given) receives REG_SZ or REG_DWORD. *dataSize is the buffer
// size in bytes on entry and the value's size on return (a string's with its
// terminator). With data null only the size is reported; with a buffer that
// is too small the result is ERROR_MORE_DATA and the buffer is untouched.
// reserved must be null.
LONG RegQueryValueExA(HKEY key, const char* valueName, DWORD* reserved, DWORD* type, BYTE* data,
                      DWORD* dataSize);

// Closing a predefined root is allowed and does nothing.
LONG RegCloseKey(HKEY key);

// Forgets what was loaded and reads the folders again, now. Without it the
// folders are read once, at the first call above. Keys opened before a reload
// stay closable; every other use of them gives ERROR_KEY_DELETED.
// Faults are said on stderr: a line for each bad line (20 per file at most,
// then their count) and for each file skipped (unreadable, or over 16 MB).
// The copy of this code inside a driver module keeps them to itself.
void RegistryReload();

// The folders read, in order: those of $TONEWRIGHT_REGISTRY (colon-separated)
// when it is set, else <executable dir>/registry.d,
// <executable dir>/../share/tonewright/registry.d, /etc/tonewright/registry.d
// and the user's $XDG_CONFIG_HOME/tonewright/registry.d.
std::vector<std::string> RegistryFolders();
