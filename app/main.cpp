#include "app/device_recovery.h"
#include "app/engine.h"
#include "app/run_folder.h"

#include <objbase.h>
#include <windows.h>

namespace {

// Prepares this thread for COM (the imaging component needs it) for as
// long as the program runs.
class ComApartment {
public:
    ComApartment() : initialised(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComApartment()
    {
        if (initialised) {
            CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialised;
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    // Started from a shortcut, a prompt elsewhere or a file manager, the
    // music, shaders and texture must still be found beside the program.
    UseExecutableFolderAsWorkingDirectory();
    ComApartment com;
    const int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
    const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
    Engine engine(width, height);
    if (!engine.CanRender()) {
        ShowDeviceFailure();
        return kDeviceFailureExitCode;
    }
    return engine.Run();
}
