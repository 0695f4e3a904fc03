// The author's live shaders: the scene's four shader sources in a folder,
// compiled again with the system's shader compiler when they or what they
// include are saved, and put into the scene's materials from the next frame.
// A source that does not compile leaves its last good shader drawing.
#pragma once

#include "demo/shader_watch.h"

#include <windows.h>
#include <d3d11.h>
#include <d3dcompiler.h>
#include <wrl/client.h>

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

struct MeshObject;

class LiveShaders {
public:
    // Watches `folder`; loads the compiler from the system folder only.
    explicit LiveShaders(const std::wstring& folder);
    ~LiveShaders();
    LiveShaders(const LiveShaders&) = delete;
    LiveShaders& operator=(const LiveShaders&) = delete;

    // Looks at the folder, at most every poll interval, and compiles the
    // sources that a save made stale. A source that cannot be read now (locked,
    // half moved) is tried again at the next look. Each failure's first
    // message goes to standard error.
    void Poll(std::uint64_t nowMs);

    // Puts the newest shaders that compiled into the scene's materials:
    // those compiled since the last call, and all of them when the device
    // is another (the scene's objects made again). Entry 0 the cube, 1 the
    // pyramids.
    void Apply(ID3D11Device* device, const std::vector<MeshObject*>& scene);

    // The first message of the newest failure still standing; "" when there is none.
    std::string Error() const;

    // How many sources compiled (for the benchmark): a count that only grows.
    std::uint64_t Compiled() const { return compiledCount; }

private:
    struct Source {
        const char* file;     // in the folder
        const char* profile;  // as the build compiles it, entry point main
        std::size_t entry;    // the scene entry whose material it belongs to
        bool vertex;
        Microsoft::WRL::ComPtr<ID3DBlob> good;  // the newest bytecode that compiled
        bool fresh = false;                     // compiled since the last Apply
        std::string error;                      // the failure's first message, while it stands
        std::uint64_t errorOrder = 0;
    };
    enum class Outcome { Compiled, Failed, Unreadable };

    Outcome Compile(Source& source);
    void Report(Source& source, const std::string& message);

    ShaderWatch watch;
    HMODULE compilerLibrary = nullptr;
    pD3DCompile compile = nullptr;
    std::array<Source, 4> sources;
    std::set<std::string> pending;  // stale sources still to compile
    std::uint64_t nextLookMs = 0;
    std::uint64_t errors = 0;
    std::uint64_t compiledCount = 0;
    ID3D11Device* appliedTo = nullptr;  // not owning: only compared
};
