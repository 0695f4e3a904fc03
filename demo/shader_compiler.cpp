#include "demo/shader_compiler.h"

#include "demo/run_folder.h"
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

    // The first include there but not read, and why; a missing one is the compiler's to tell.
    FileRead problem{.outcome = FileRead::Outcome::Read};

    HRESULT STDMETHODCALLTYPE Open(D3D_INCLUDE_TYPE, LPCSTR fileName, LPCVOID, LPCVOID* data, UINT* bytes) override
    {
        if (fileName == nullptr) {
            return E_FAIL;
        }
        std::string text;
        FileRead result = ReadWholeFile(IncludePath(folder, fileName), text);
        if (result.outcome != FileRead::Outcome::Read) {
            if (result.outcome != FileRead::Outcome::Missing && problem.outcome == FileRead::Outcome::Read) {
                problem = {.outcome = result.outcome,
                           .reason = "#include \"" + std::string(fileName) + "\": " + result.reason};
            }
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

// How much of `path` names its drive ("C:") or its server ("\\server").
std::size_t RootNameLength(const std::wstring& path)
{
    if (path.size() >= 2 && path[1] == L':') {
        return 2;
    }
    if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
        const std::size_t end = path.find_first_of(L"\\/", 2);
        return end == std::wstring::npos ? path.size() : end;
    }
    return 0;
}

}  // namespace

FileRead ReadWholeFile(const std::wstring& path, std::string& text)
{
    using Outcome = FileRead::Outcome;
    const auto errorReason = [](DWORD error) { return "cannot be read (Windows error " + std::to_string(error) + ")"; };
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return {.outcome = Outcome::Unreadable, .reason = "a folder, not a file"};
    }
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        switch (const DWORD error = GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return {.outcome = Outcome::Missing};
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return {.outcome = Outcome::Busy, .reason = "still locked after a second"};
        case ERROR_ACCESS_DENIED:  // also a file being deleted, for a moment
            return {.outcome = Outcome::Busy, .reason = "access denied"};
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_DIRECTORY:
        case ERROR_FILENAME_EXCED_RANGE:
            return {.outcome = Outcome::Unreadable, .reason = "not a valid file name"};
        default:
            return {.outcome = Outcome::Busy, .reason = errorReason(error)};
        }
    }
    LARGE_INTEGER size{};
    FileRead result{.outcome = Outcome::Busy, .reason = errorReason(ERROR_READ_FAULT)};
    if (!GetFileSizeEx(file, &size)) {
        result.reason = errorReason(GetLastError());
    } else if (size.QuadPart > kMaxSourceBytes) {
        result = {.outcome = Outcome::Unreadable,
                  .reason = "over 4 MiB (" + std::to_string(size.QuadPart) + " bytes): not a shader source"};
    } else {
        text.assign(static_cast<std::size_t>(size.QuadPart), '\0');
        DWORD read = 0;
        // Fewer bytes than the size: cut short while being read, so read again.
        if (text.empty() ||
            (ReadFile(file, text.data(), static_cast<DWORD>(text.size()), &read, nullptr) && read == text.size())) {
            result = {.outcome = Outcome::Read};
        }
    }
    CloseHandle(file);
    return result;
}

std::wstring IncludePath(const std::wstring& folder, const std::string& name)
{
    // As the build's own compiler joins them: a name with its drive or server
    // stands for itself, one from the root keeps the folder's drive.
    std::wstring include = Utf16FromUtf8(name);
    if (RootNameLength(include) > 0) {
        return include;
    }
    if (!include.empty() && IsPathSeparator(include[0])) {
        return folder.substr(0, RootNameLength(folder)) + include;
    }
    if (folder.empty() || IsPathSeparator(folder.back())) {
        return folder + include;
    }
    return folder + L'\\' + include;
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
    const auto notRead = [&result, file](const FileRead& read) {
        result.outcome =
            read.outcome == FileRead::Outcome::Busy ? ShaderCompile::Outcome::Busy : ShaderCompile::Outcome::Unreadable;
        result.message = std::string(file) + ": " + read.reason;
        return result;
    };
    const FileRead read = ReadWholeFile(folder + L"\\" + Utf16FromUtf8(file), text);
    if (read.outcome == FileRead::Outcome::Missing) {
        result.outcome = ShaderCompile::Outcome::Missing;
        return result;
    }
    if (read.outcome != FileRead::Outcome::Read) {
        return notRead(read);
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
    if (includes.problem.outcome != FileRead::Outcome::Read) {
        return notRead(includes.problem);
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
