#pragma once

// Makes every DLL this process loads from now on come from the system folder
// only: delay-loaded imports, what they import in turn, and what COM, Media
// Foundation, WIC and Direct3D load on their own. Called first thing by each
// program: until then the program's folder is searched first, and a file
// named like a system DLL placed there would be loaded instead. bass.dll,
// imported at load time, has been found beside the program by then.
// Returns false where Windows refused it (the search order then stays).
bool SearchSystemFolderOnlyForDlls();
