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
#include <process.h>

#include <cstdio>
#include <memory>

namespace {

// How long the process may take to end once its message loop has ended, its
// window's going included.
constexpr DWORD kExitGraceMs = 4000;

DWORD WINAPI EndAfterGrace(LPVOID exitCode)
{
    Sleep(kExitGraceMs);
    TerminateProcess(GetCurrentProcess(), *static_cast<const UINT*>(exitCode));
    return 0;
}

// From the message loop's end the process ends with `exitCode` within the
// grace, whatever its threads are doing: a program at an exhibition whose
// window has gone but whose process lingers is restarted by nobody.
void WatchTheExit(int exitCode)
{
    auto code = std::make_unique<UINT>(static_cast<UINT>(exitCode));
    const HANDLE watch = CreateThread(nullptr, 0, EndAfterGrace, code.get(), 0, nullptr);
    if (watch != nullptr) {
        static_cast<void>(code.release());  // read by the watch until the process ends
        CloseHandle(watch);
    }
}

// The runtime's exit handlers (the audio library's end among them) and the
// flush of its output run while every thread still runs. The last step is
// TerminateProcess, not ExitProcess: that one takes the loader's lock, which
// a thread inside a DLL's start-up may hold for good, and under Wine it ends
// the other threads, the exit's watch among them, before it does.
[[noreturn]] void EndProcess(int exitCode)
{
    _cexit();
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(exitCode));
    ExitProcess(static_cast<UINT>(exitCode));  // not reached: TerminateProcess on the process itself does not return
}

int RunViewer()
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
    const int exitCode = engine.Run();
    WatchTheExit(exitCode);
    return exitCode;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    EndProcess(RunViewer());
}
