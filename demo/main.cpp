#include "demo/author_folder.h"
#include "demo/command_line.h"
#include "demo/device_failure.h"
#include "demo/engine.h"
#include "demo/run_folder.h"
#include "demo/viewer_options.h"
#include "platform/dll_search.h"
#include "scene/com_apartment.h"
#include "scene/scene_content.h"
#include "scene/tracks_file.h"

#include <windows.h>

#include <cstdio>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    SearchSystemFolderOnlyForDlls();
    ViewerOptions options;
    if (const std::optional<std::string> problem = ParseViewerOptions(CommandLineArguments(), options)) {
        ShowCommandLineAnswer("vexlar: " + *problem + "\n\n" + ViewerUsage(), true);
        return kBadOptionsExitCode;
    }
    if (options.help) {
        ShowCommandLineAnswer(ViewerUsage(), false);
        return 0;
    }
    if (options.author) {
        // A FOLDER typed at a prompt means one from where the prompt stands.
        options.authorFolder = AuthorFolder(options.authorFolder, ExecutableFolder());
    }
    // Started from a shortcut, a prompt elsewhere or a file manager, the
    // music, shaders and texture must still be found beside the program.
    UseExecutableFolderAsWorkingDirectory();
    ComApartment com;
    const int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    Engine engine(width, height, options);
    if (!engine.CanRender()) {
        ShowDeviceFailure();
        return kDeviceFailureExitCode;
    }
    // The author's mode reads the tracks of the folder it watches instead.
    if (!options.author) {
        if (const std::optional<std::string> problem = UseTracksFile(engine.tracks, kTracksFile)) {
            std::fputs(("vexlar: " + *problem + "\n").c_str(), stderr);
            std::fflush(stderr);
        }
    }
    return engine.Run();
}
