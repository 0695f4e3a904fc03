#include "platform/window_class.h"

#include "platform/window_procedures.h"

WindowClass WindowClass::registrar;  // NOLINT(cppcoreguidelines-avoid-non-const-global-variables): see the header

WindowClass::WindowClass() : instance(GetModuleHandleA(nullptr))
{
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = SetupWindowProc;
    windowClass.cbClsExtra = 0;
    windowClass.cbWndExtra = 0;
    windowClass.hInstance = instance;
    // No icon, no class cursor and no background brush: the frames paint
    // the whole client area and the cursor stays hidden.
    windowClass.hIcon = nullptr;
    windowClass.hCursor = nullptr;
    windowClass.hbrBackground = nullptr;
    windowClass.lpszMenuName = nullptr;
    windowClass.lpszClassName = kName;
    windowClass.hIconSm = nullptr;
    RegisterClassExA(&windowClass);
}

WindowClass::~WindowClass()
{
    UnregisterClassA(kName, instance);
}

HINSTANCE WindowClass::Instance()
{
    return registrar.instance;
}
