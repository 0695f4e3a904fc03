#include "tools/shader_compile.h"

#include <windows.h>
#include <d3dcompiler.h>
#include <wrl/client.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <list>
#include <utility>
#include <vector>

namespace {

// No shader of ours comes anywhere near this; a larger file is a wrong path.
constexpr std::uintmax_t kMaxSourceBytes = 4u << 20;

std::string BlobText(ID3DBlob* blob)
{
    if (!blob || blob->GetBufferSize() == 0) {
        return {};
    }
    std::string text(static_cast<const char*>(blob->GetBufferPointer()), blob->GetBufferSize());
    while (!text.empty() && (text.back() == '\0' || text.back() == '\n' || text.back() == '\r')) {
        text.pop_back();
    }
    return text;
}

std::string HexResult(HRESULT hr)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
    return text;
}

bool ReadSource(const std::filesystem::path& path, std::vector<char>& source, std::string& messages)
{
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error) {
        messages = path.string() + ": cannot read the source file";
        return false;
    }
    if (size > kMaxSourceBytes) {
        messages = path.string() + ": source file is too large (" + std::to_string(size) + " bytes)";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    source.resize(static_cast<std::size_t>(size));
    if (!in || !in.read(source.data(), static_cast<std::streamsize>(source.size()))) {
        messages = path.string() + ": cannot read the source file";
        return false;
    }
    return true;
}

// Writes beside the target first and renames, so a reader never sees a
// half-written shader.
bool WriteOutput(const std::filesystem::path& path, const void* data, std::size_t size, std::string& messages)
{
    std::filesystem::path temporary = path;
    temporary += ".partial";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
        out.close();
        if (!out) {
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            messages = path.string() + ": cannot write the output file";
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        messages = path.string() + ": cannot write the output file";
        return false;
    }
    return true;
}

// Finds #include files beside the source file, the same way on Windows and
// under Wine (whose standard include handler looks elsewhere).
class SourceFolderInclude : public ID3DInclude {
public:
    explicit SourceFolderInclude(std::filesystem::path folder) : folder(std::move(folder)) {}

    HRESULT STDMETHODCALLTYPE Open(D3D_INCLUDE_TYPE, LPCSTR fileName, LPCVOID, LPCVOID* data, UINT* bytes) override
    {
        std::vector<char> text;
        std::string ignored;
        if (!fileName || !ReadSource(folder / fileName, text, ignored)) {
            return E_FAIL;
        }
        opened.push_back(std::move(text));
        *data = opened.back().data();
        *bytes = static_cast<UINT>(opened.back().size());
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE Close(LPCVOID) override { return S_OK; }

private:
    std::filesystem::path folder;
    std::list<std::vector<char>> opened;  // a list, so earlier buffers never move
};

}  // namespace

bool CompileShaderFile(const std::string& sourcePath, const std::string& entryPoint, const std::string& profile,
                       const std::string& outputPath, std::string& messages)
{
    messages.clear();
    const std::filesystem::path output(outputPath);
    std::error_code ignored;
    std::filesystem::remove(output, ignored);

    std::vector<char> source;
    if (!ReadSource(std::filesystem::path(sourcePath), source, messages)) {
        return false;
    }

    Microsoft::WRL::ComPtr<ID3DBlob> code;
    Microsoft::WRL::ComPtr<ID3DBlob> errors;
    // Optimisation level 3 is the one the Windows compiler uses by default
    // for release shaders; Wine's compiler accepts the flag as well.
    const UINT flags = D3DCOMPILE_ENABLE_STRICTNESS | D3DCOMPILE_OPTIMIZATION_LEVEL3;
    SourceFolderInclude includes(std::filesystem::path(sourcePath).parent_path());
    const HRESULT hr = D3DCompile(source.data(), source.size(), sourcePath.c_str(), nullptr, &includes,
                                  entryPoint.c_str(), profile.c_str(), flags, 0, &code, &errors);
    messages = BlobText(errors.Get());
    if (FAILED(hr) || !code || code->GetBufferSize() == 0) {
        if (messages.empty()) {
            messages = sourcePath + ": compilation failed with " + HexResult(hr);
        }
        return false;
    }

    std::string writeError;
    if (!WriteOutput(output, code->GetBufferPointer(), code->GetBufferSize(), writeError)) {
        messages = writeError;
        return false;
    }
    return true;
}
