/* Prints, one a line, the names that the Source Manager's search pattern "*.ds" finds in the
   folder given, through FindFirstFileW as the Source Manager calls it. */
#include <stdio.h>
#include <wchar.h>
#include <windows.h>

int wmain(int argc, wchar_t** argv) {
    if (argc != 2) return 2;
    wchar_t pattern[MAX_PATH];
    if (swprintf(pattern, MAX_PATH, L"%ls\\*.ds", argv[1]) < 0) return 2;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern, &found);
    if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND ? 0 : 1;
    do {
        char name[4 * MAX_PATH];
        if (WideCharToMultiByte(CP_UTF8, 0, found.cFileName, -1, name, sizeof(name), NULL, NULL) > 0) printf("%s\n", name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return 0;
}
