// The system's shader compiler: D3DCompile from d3dcompiler_47.dll, loaded
// from the system folder only, compiling a source of the watched folder as
// the build compiles it, with its includes read from the same folder.
#pragma once

#include <windows.h>
#include <d3dcompiler.h>
#include <wrl/client.h>

#include <string>

enum class FileRead { Read, Missing, Locked };

// Reads a whole file that others may be writing, renaming or deleting.
FileRead ReadWholeFile(const std::wstring& path, std::string& text);

// What became of one source's compile.
struct ShaderCompile {
    enum class Outcome {
        Compiled,  // `code` holds the bytecode
        Failed,    // `message` holds the compiler's first message
        Missing,   // the source is not there
        Locked,    // the source or an include cannot be read now: try again later
    };
    Outcome outcome = Outcome::Failed;
    Microsoft::WRL::ComPtr<ID3DBlob> code;
    std::string message;
};

class ShaderCompiler {
public:
    ShaderCompiler();
    // The code it compiled must be released before: it belongs to the library.
    ~ShaderCompiler();
    ShaderCompiler(const ShaderCompiler&) = delete;
    ShaderCompiler& operator=(const ShaderCompiler&) = delete;

    // False when the system has no compiler: then nothing compiles.
    bool Loaded() const { return compile != nullptr; }

    // Compiles `file` of `folder` for `profile` from the entry point main.
    ShaderCompile Compile(const std::wstring& folder, const char* file, const char* profile) const;

private:
    HMODULE library = nullptr;
    pD3DCompile compile = nullptr;
};
