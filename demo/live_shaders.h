// Which of the scene's four shader sources to compile again, and when: the
// watched folder looked at a few times a second, the sources that a save made
// stale (directly or through what they include) kept pending while they
// cannot be read, and the newest failure still standing, told in the title
// and on standard error. A source that does not compile keeps its last good
// code.
#pragma once

#include "demo/shader_compiler.h"
#include "demo/shader_watch.h"

#include <windows.h>
#include <d3dcompiler.h>
#include <wrl/client.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>

inline constexpr std::size_t kLiveSourceCount = 4;

struct LiveSource {
    const char* file;     // in the folder
    const char* profile;  // as the build compiles it, entry point main
    std::size_t entry;    // the scene entry whose material it belongs to: 0 the cube, 1 the pyramids
    bool vertex;
    Microsoft::WRL::ComPtr<ID3DBlob> code;  // the newest bytecode that compiled
    std::uint64_t version = 0;              // which compile made `code`: only grows; 0 before the first
    std::string error;                      // the failure's first message, while it stands
    std::uint64_t errorOrder = 0;
};

class LiveShaders {
public:
    // Watches `folder`; loads the compiler from the system folder only.
    explicit LiveShaders(const std::wstring& folder);

    // Looks at the folder, at most every poll interval, and compiles the
    // sources that a save made stale. A source that cannot be read now (locked,
    // half moved) is tried again at the next look. Each failure's first
    // message goes to standard error.
    void Poll(std::uint64_t nowMs);

    const std::array<LiveSource, kLiveSourceCount>& Sources() const { return sources; }

    // Tells `message` as the failure of source `index` (standard error, and
    // Error() until the source compiles again).
    void Report(std::size_t index, const std::string& message);

    // The first message of the newest failure still standing; "" when there is none.
    std::string Error() const;

    // How many sources compiled (for the benchmark): a count that only grows.
    std::uint64_t Compiled() const { return compiledCount; }

private:
    ShaderCompiler compiler;  // first, so that the code it compiled goes before its library
    ShaderWatch watch;
    std::array<LiveSource, kLiveSourceCount> sources;
    std::set<std::string> pending;  // stale sources still to compile
    std::uint64_t nextLookMs = 0;
    std::uint64_t errors = 0;
    std::uint64_t compiledCount = 0;
};
