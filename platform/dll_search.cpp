#include "platform/dll_search.h"

#include <windows.h>

bool SearchSystemFolderOnlyForDlls()
{
    return SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != 0;
}
