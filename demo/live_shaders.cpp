#include "demo/live_shaders.h"

#include "demo/shader_sources.h"
#include "platform/unicode_text.h"
#include "render/materials.h"
#include "render/mesh_object.h"

#include <wrl/client.h>

#include <list>
#include <map>

using Microsoft::WRL::ComPtr;

namespace {

// A few looks a second: a save shows within a frame or two of being still.
constexpr std::uint64_t kPollIntervalMs = 50;
// No shader source comes near this; a larger file is not one.
constexpr DWORD kMaxSourceBytes = 4u << 20;
// The build's flags (tools/shader_compile.cpp), so that a saved source draws
// as the built one does.
constexpr UINT kCompileFlags = D3DCOMPILE_ENABLE_STRICTNESS | D3DCOMPILE_OPTIMIZATION_LEVEL3;

enum class ReadResult { Read, Missing, Locked };

// Reads a whole file that others may be writing, renaming or deleting.
ReadResult ReadWholeFile(const std::wstring& path, std::string& text)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadResult::Missing
                                                                              : ReadResult::Locked;
    }
    LARGE_INTEGER size{};
    ReadResult result = ReadResult::Locked;
    if (GetFileSizeEx(file, &size) && size.QuadPart <= kMaxSourceBytes) {
        text.assign(static_cast<std::size_t>(size.QuadPart), '\0');
        DWORD read = 0;
        if (text.empty() ||
            (ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr) && read == text.size())) {
            result = ReadResult::Read;
        }
    }
    CloseHandle(file);
    return result;
}

// #include files come from the watched folder, the same on Windows and under Wine.
class FolderInclude : public ID3DInclude {
public:
    explicit FolderInclude(std::wstring from) : folder(std::move(from)) {}

    bool locked = false;  // an include could not be read now: try again later

    HRESULT STDMETHODCALLTYPE Open(D3D_INCLUDE_TYPE, LPCSTR fileName, LPCVOID, LPCVOID* data, UINT* bytes) override
    {
        std::string text;
        const ReadResult result =
            fileName == nullptr ? ReadResult::Missing : ReadWholeFile(folder + L"\\" + Utf16FromUtf8(fileName), text);
        if (result != ReadResult::Read) {
            locked = locked || result == ReadResult::Locked;
            return E_FAIL;
        }
        opened.push_back(std::move(text));
        *data = opened.back().data();
        *bytes = static_cast<UINT>(opened.back().size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Close(LPCVOID) override { return S_OK; }

private:
    const std::wstring folder;
    std::list<std::string> opened;  // a list, so earlier texts never move
};

void WriteToStandardError(const std::string& line)
{
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::string text = "vexlar: " + line + "\n";
    DWORD written = 0;
    WriteFile(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace

LiveShaders::LiveShaders(const std::wstring& folder)
    : watch(folder), sources{{{.file = "cube_vertex.hlsl", .profile = "vs_5_0", .entry = 0, .vertex = true},
                              {.file = "cube_pixel.hlsl", .profile = "ps_5_0", .entry = 0, .vertex = false},
                              {.file = "pyramid_vertex.hlsl", .profile = "vs_5_0", .entry = 1, .vertex = true},
                              {.file = "pyramid_pixel.hlsl", .profile = "ps_5_0", .entry = 1, .vertex = false}}}
{
    // From the system folder only, as every other system DLL the program loads.
    compilerLibrary = LoadLibraryExW(L"d3dcompiler_47.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (compilerLibrary != nullptr) {
        compile = reinterpret_cast<pD3DCompile>(reinterpret_cast<void*>(GetProcAddress(compilerLibrary, "D3DCompile")));
    }
    if (compile == nullptr) {
        WriteToStandardError("the system's shader compiler (d3dcompiler_47.dll) cannot be loaded: saved shaders are "
                             "not compiled");
    }
}

LiveShaders::~LiveShaders()
{
    // The compiled code is the compiler's objects: they go before its library.
    for (Source& source : sources) {
        source.good.Reset();
    }
    if (compilerLibrary != nullptr) {
        FreeLibrary(compilerLibrary);
    }
}

void LiveShaders::Poll(std::uint64_t nowMs)
{
    if (nowMs < nextLookMs || compile == nullptr) {
        return;
    }
    nextLookMs = nowMs + kPollIntervalMs;
    const std::set<std::wstring> saved = watch.Saved();
    if (!saved.empty()) {
        // What includes what, as the files read now; a file that cannot be
        // read counts as including nothing.
        std::map<std::string, std::vector<std::string>> includes;
        for (const std::wstring& name : watch.Files()) {
            std::string text;
            if (ReadWholeFile(watch.Folder() + L"\\" + name, text) == ReadResult::Read) {
                includes[Utf8FromUtf16(name).value_or(std::string())] = IncludedNames(text);
            }
        }
        std::set<std::string> savedNames;
        for (const std::wstring& name : saved) {
            savedNames.insert(Utf8FromUtf16(name).value_or(std::string()));
        }
        std::vector<std::string> names;
        for (const Source& source : sources) {
            names.emplace_back(source.file);
        }
        pending.merge(StaleSources(savedNames, includes, names));
    }
    for (Source& source : sources) {
        if (pending.contains(source.file) && Compile(source) != Outcome::Unreadable) {
            pending.erase(source.file);
        }
    }
}

LiveShaders::Outcome LiveShaders::Compile(Source& source)
{
    std::string text;
    const std::wstring name = Utf16FromUtf8(source.file);
    switch (ReadWholeFile(watch.Folder() + L"\\" + name, text)) {
    case ReadResult::Locked:
        return Outcome::Unreadable;
    case ReadResult::Missing:
        // Taken away, perhaps to be saved again under its name: the last
        // good shader draws on, and the next save is compiled.
        return Outcome::Failed;
    case ReadResult::Read:
        break;
    }
    FolderInclude includes(watch.Folder());
    ComPtr<ID3DBlob> code;
    ComPtr<ID3DBlob> messages;
    const HRESULT result = compile(text.data(), text.size(), source.file, nullptr, &includes, "main", source.profile,
                                   kCompileFlags, 0, &code, &messages);
    if (includes.locked) {
        return Outcome::Unreadable;
    }
    if (FAILED(result) || !code || code->GetBufferSize() == 0) {
        std::string line;
        if (messages && messages->GetBufferSize() > 0) {
            line = FirstMessageLine(
                std::string_view(static_cast<const char*>(messages->GetBufferPointer()), messages->GetBufferSize()));
        }
        Report(source, line.empty() ? std::string(source.file) + ": the shader does not compile" : line);
        return Outcome::Failed;
    }
    source.good = code;
    source.fresh = true;
    source.error.clear();
    ++compiledCount;
    return Outcome::Compiled;
}

void LiveShaders::Report(Source& source, const std::string& message)
{
    source.error = message;
    source.errorOrder = ++errors;
    WriteToStandardError(message);
}

void LiveShaders::Apply(ID3D11Device* device, const std::vector<MeshObject*>& scene)
{
    if (device == nullptr || scene.size() < 2) {
        return;
    }
    const bool again = device != appliedTo;
    appliedTo = device;
    for (Source& source : sources) {
        if (!source.good || !(source.fresh || again)) {
            continue;
        }
        source.fresh = false;
        Material* material = scene[source.entry]->material;
        if (material == nullptr) {
            continue;
        }
        const void* code = source.good->GetBufferPointer();
        const SIZE_T size = source.good->GetBufferSize();
        if (source.vertex) {
            ComPtr<ID3D11VertexShader> shader;
            ComPtr<ID3D11InputLayout> layout;
            const UINT elements = source.entry == 0 ? kCubeElementCount : kPyramidElementCount;
            if (SUCCEEDED(device->CreateVertexShader(code, size, nullptr, &shader)) &&
                SUCCEEDED(device->CreateInputLayout(kVertexElements.data(), elements, code, size, &layout))) {
                material->vertexShader = shader;
                material->inputLayout = layout;
                continue;
            }
        } else {
            ComPtr<ID3D11PixelShader> shader;
            if (SUCCEEDED(device->CreatePixelShader(code, size, nullptr, &shader))) {
                material->pixelShader = shader;
                continue;
            }
        }
        Report(source, std::string(source.file) + ": the device does not take the compiled shader");
    }
}

std::string LiveShaders::Error() const
{
    const Source* newest = nullptr;
    for (const Source& source : sources) {
        if (!source.error.empty() && (newest == nullptr || source.errorOrder > newest->errorOrder)) {
            newest = &source;
        }
    }
    return newest == nullptr ? std::string() : newest->error;
}
