#include "demo/shader_compiler.h"

#include "demo/shader_sources.h"
#include "platform/unicode_text.h"

#include <list>
#include <string_view>
#include <utility>

using Microsoft::WRL::ComPtr;

namespace {

// No shader source comes near this; a larger file is not one.
constexpr DWORD kMaxSourceBytes = 4u << 20;
// The build's flags (tools/shader_compile.cpp), so that a saved source draws
// as the built one does.
constexpr UINT kCompileFlags = D3DCOMPILE_ENABLE_STRICTNESS | D3DCOMPILE_OPTIMIZATION_LEVEL3;

// #include files come from the watched folder, the same on Windows and under Wine.
class FolderInclude : public ID3DInclude {
public:
    explicit FolderInclude(std::wstring from) : folder(std::move(from)) {}

    bool locked = false;  // an include could not be read now: try again later

    HRESULT STDMETHODCALLTYPE Open(D3D_INCLUDE_TYPE, LPCSTR fileName, LPCVOID, LPCVOID* data, UINT* bytes) override
    {
        std::string text;
        const FileRead result =
            fileName == nullptr ? FileRead::Missing : ReadWholeFile(folder + L"\\" + Utf16FromUtf8(fileName), text);
        if (result != FileRead::Read) {
            locked = locked || result == FileRead::Locked;
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

}  // namespace

FileRead ReadWholeFile(const std::wstring& path, std::string& text)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileRead::Missing : FileRead::Locked;
    }
    LARGE_INTEGER size{};
    FileRead result = FileRead::Locked;
    if (GetFileSizeEx(file, &size) && size.QuadPart <= kMaxSourceBytes) {
        text.assign(static_cast<std::size_t>(size.QuadPart), '\0');
        DWORD read = 0;
        if (text.empty() ||
            (ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr) && read == text.size())) {
            result = FileRead::Read;
        }
    }
    CloseHandle(file);
    return result;
}

ShaderCompiler::ShaderCompiler()
{
    // From the system folder only, as every other system DLL the program loads.
    library = LoadLibraryExW(L"d3dcompiler_47.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (library != nullptr) {
        compile = reinterpret_cast<pD3DCompile>(reinterpret_cast<void*>(GetProcAddress(library, "D3DCompile")));
    }
}

ShaderCompiler::~ShaderCompiler()
{
    if (library != nullptr) {
        FreeLibrary(library);
    }
}

ShaderCompile ShaderCompiler::Compile(const std::wstring& folder, const char* file, const char* profile) const
{
    ShaderCompile result;
    std::string text;
    switch (ReadWholeFile(folder + L"\\" + Utf16FromUtf8(file), text)) {
    case FileRead::Locked:
        result.outcome = ShaderCompile::Outcome::Locked;
        return result;
    case FileRead::Missing:
        result.outcome = ShaderCompile::Outcome::Missing;
        return result;
    case FileRead::Read:
        break;
    }
    if (compile == nullptr) {
        result.message = "the system's shader compiler (d3dcompiler_47.dll) is not loaded";
        return result;
    }
    FolderInclude includes(folder);
    ComPtr<ID3DBlob> code;
    ComPtr<ID3DBlob> messages;
    const HRESULT compiled = compile(text.data(), text.size(), file, nullptr, &includes, "main", profile, kCompileFlags,
                                     0, &code, &messages);
    if (includes.locked) {
        result.outcome = ShaderCompile::Outcome::Locked;
        return result;
    }
    if (FAILED(compiled) || !code || code->GetBufferSize() == 0) {
        if (messages && messages->GetBufferSize() > 0) {
            result.message = FirstMessageLine(
                std::string_view(static_cast<const char*>(messages->GetBufferPointer()), messages->GetBufferSize()));
        }
        if (result.message.empty()) {
            result.message = std::string(file) + ": the shader does not compile";
        }
        return result;
    }
    result.outcome = ShaderCompile::Outcome::Compiled;
    result.code = code;
    return result;
}
