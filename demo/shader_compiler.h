// The system's shader compiler: D3DCompile from d3dcompiler_47.dll, loaded
// from the system folder only, compiling a source of the watched folder as
// the build compiles it, with its includes read from the same folder.
#pragma once

#include <windows.h>
#include <d3dcompiler.h>
#include <wrl/client.h>

#include <string>

// What became of reading a whole file.
struct FileRead {
    enum class Outcome {
        Read,
        Missing,     // not there
        Busy,        // locked, or refused for now: may be read later
        Unreadable,  // a folder, not a valid name, too large: not until it changes
    };
    Outcome outcome = Outcome::Missing;
    std::string reason;  // why it was not read, when it is there: "access denied"
};

// Reads a whole file that others may be writing, renaming or deleting.
FileRead ReadWholeFile(const std::wstring& path, std::string& text);

// Where the build's compiler reads an #include of `name` from a source in
// `folder`: beside the source, or `name` itself when it is a full path.
std::wstring IncludePath(const std::wstring& folder, const std::string& name);

// What became of one source's compile.
struct ShaderCompile {
    enum class Outcome {
        Compiled,    // `code` holds the bytecode
        Failed,      // `message` holds the compiler's first message
        Missing,     // the source is not there
        Busy,        // the source or an include cannot be read now: try again later
        Unreadable,  // the source or an include cannot be read until it changes
    };
    Outcome outcome = Outcome::Failed;
    Microsoft::WRL::ComPtr<ID3DBlob> code;
    std::string message;  // when Failed, Busy or Unreadable: what to tell
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
