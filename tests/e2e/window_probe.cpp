// Asks the running demo, from another process, what Windows knows of it:
// the DPI awareness its window was created with, and, from the executable
// the process runs, its version, its icons and the settings that Windows'
// own manifest reader finds in it. Prints one "name value" line each.
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// The resource that Windows reads the manifest of an executable from.
constexpr WORD kProcessManifestResource = 1;

// Windows 10 and 11 share this supportedOS identifier.
constexpr GUID kWindows10 = {0x8e0f7a12, 0xbfb3, 0x4fe8, {0xb9, 0xa5, 0x48, 0xfd, 0x50, 0xa1, 0x5a, 0x9a}};

const char* AwarenessName(DPI_AWARENESS_CONTEXT context)
{
    switch (GetAwarenessFromDpiAwarenessContext(context)) {
    case DPI_AWARENESS_UNAWARE:
        return "unaware";
    case DPI_AWARENESS_SYSTEM_AWARE:
        return "system";
    case DPI_AWARENESS_PER_MONITOR_AWARE:
        return "per-monitor";
    default:
        return "invalid";
    }
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

std::wstring ProcessImagePath(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (process == nullptr) {
        return {};
    }
    std::wstring path(32768, L'\0');
    DWORD length = static_cast<DWORD>(path.size());
    const bool found = QueryFullProcessImageNameW(process, 0, path.data(), &length) != 0;
    CloseHandle(process);
    path.resize(found ? length : 0);
    return path;
}

std::string ProductVersion(const std::wstring& path)
{
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    if (size == 0) {
        return "none";
    }
    std::vector<char> block(size);
    void* value = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
        !VerQueryValueW(block.data(), L"\\StringFileInfo\\040904B0\\ProductVersion", &value, &length) || length == 0) {
        return "none";
    }
    return Narrow(std::wstring(static_cast<const wchar_t*>(value), length - 1));
}

std::string Setting(HANDLE context, const wchar_t* space, const wchar_t* name)
{
    wchar_t value[256]{};
    SIZE_T written = 0;
    if (!QueryActCtxSettingsW(0, context, space, name, value, std::size(value), &written)) {
        return "none";
    }
    return Narrow(value);
}

// The manifest as the process was started with it: Windows' activation
// context from the executable's manifest resource.
void PrintManifest(const std::wstring& path)
{
    ACTCTXW request{.cbSize = sizeof(ACTCTXW),
                    .dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID,
                    .lpSource = path.c_str(),
                    .lpResourceName = MAKEINTRESOURCEW(kProcessManifestResource)};
    const HANDLE context = CreateActCtxW(&request);
    if (context == INVALID_HANDLE_VALUE) {
        std::puts("manifest none");
        return;
    }
    std::puts("manifest found");
    std::printf("manifest-dpi-awareness %s\n",
                Setting(context, L"http://schemas.microsoft.com/SMI/2016/WindowsSettings", L"dpiAwareness").c_str());
    std::printf("manifest-dpi-aware %s\n",
                Setting(context, L"http://schemas.microsoft.com/SMI/2005/WindowsSettings", L"dpiAware").c_str());

    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION runLevel{};
    SIZE_T written = 0;
    const bool asInvoker = QueryActCtxW(0, context, nullptr, RunlevelInformationInActivationContext, &runLevel,
                                        sizeof(runLevel), &written) &&
                           runLevel.RunLevel == ACTCTX_RUN_LEVEL_AS_INVOKER;
    std::printf("manifest-as-invoker %s\n", asInvoker ? "yes" : "no");

    // The record's layout differs between SDK versions: look for the identifier itself.
    std::vector<unsigned char> compatibility(4096);
    bool windows10 = false;
    if (QueryActCtxW(0, context, nullptr, CompatibilityInformationInActivationContext, compatibility.data(),
                     compatibility.size(), &written)) {
        const auto* id = reinterpret_cast<const unsigned char*>(&kWindows10);
        const auto end = compatibility.begin() + static_cast<std::ptrdiff_t>(std::min(written, compatibility.size()));
        windows10 = std::search(compatibility.begin(), end, id, id + sizeof(GUID)) != end;
    }
    std::printf("manifest-windows-10 %s\n", windows10 ? "yes" : "no");
    ReleaseActCtx(context);
}

}  // namespace

int main()
{
    const HWND window = FindWindowA("Vexlar Direct3D Engine Window", "Vexlar-engine");
    if (window == nullptr) {
        std::puts("window none");
        return 1;
    }
    std::printf("awareness %s\n", AwarenessName(GetWindowDpiAwarenessContext(window)));
    const std::wstring path = ProcessImagePath(window);
    std::printf("version %s\n", ProductVersion(path).c_str());
    std::printf("icons %u\n", ExtractIconExW(path.c_str(), -1, nullptr, nullptr, 0));
    PrintManifest(path);
    return 0;
}
