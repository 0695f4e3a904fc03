#pragma once

#include <string>
#include <string_view>

// Whether c separates the parts of a Windows path: '\\' or '/'.
bool IsPathSeparator(wchar_t c);

// The folder of a file named by a Windows path, as the working directory
// takes it: a root keeps its separator ("C:\"), the long-path prefix of a
// drive path is dropped, and a bare file name gives an empty string.
std::wstring FolderOfFile(std::wstring_view filePath);

// The folder of this executable; empty when it cannot be found.
std::wstring ExecutableFolder();

// Makes the folder of this executable the working directory, so that the
// files it finds by relative paths are those beside it, however it was
// started. Returns false when the folder could not be found or entered.
bool UseExecutableFolderAsWorkingDirectory();
