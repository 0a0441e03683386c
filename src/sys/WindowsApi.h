// <windows.h> for the Windows twins, without the macros that would rename the
// project's own functions of the same names (CreateDirectory, CopyFile, ...)
// into their "A" forms. Include it instead of <windows.h>.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#undef CopyFile
#undef CreateDirectory
#undef DeleteFile
#undef GetDiskFreeSpace
#undef GetFileAttributes
#undef GetFileVersionInfo
#undef GetFullPathName
#undef GetModuleFileName
#undef GetTempFileName
#undef GetTempPath
#undef LookupAccountName
#undef LookupAccountSid
#undef MoveFile
#undef RemoveDirectory
#undef ReplaceFile
#undef SetFileAttributes
