// Which of the scene's four shader sources to compile again, and when: the
// sources that a save made stale (directly or through what they include),
// kept pending while they cannot be read, and the newest failure still
// standing, told in the title and on standard error. A failure is told once
// its source has stood still a moment: an editor that empties a file and then
// writes it, or a compile that meets a file being written, shows no passing
// error. A material's two shaders change together: what the
// vertex shader passes, the pixel shader takes, so a pair is taken only when
// both sources compile as they stand; otherwise the last good pair draws on.
#pragma once

#include "demo/shader_compiler.h"

#include <windows.h>
#include <d3dcompiler.h>
#include <wrl/client.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>

// The scene's entries 0 (the cube) and 1 (the pyramids), each with its material.
inline constexpr std::size_t kLiveMaterialCount = 2;

struct StandingError {
    std::string message;  // "" while none stands
    std::uint64_t order = 0;
};

struct LiveSource {
    const char* file;     // in the folder
    const char* profile;  // as the build compiles it, entry point main
    // The code of the file as it was last read; empty while it does not
    // compile, or before it was first compiled.
    Microsoft::WRL::ComPtr<ID3DBlob> newest;
    StandingError error;  // the compiler's first message, or why the file cannot be read
    std::string held;     // a failure not yet told
    std::uint64_t tellAtMs = 0;
    std::optional<std::uint64_t> busySinceMs;  // cannot be read now, since then
};

struct LiveMaterial {
    LiveSource vertex;
    LiveSource pixel;
    // The newest pair that both compiled, from the files as they then stood.
    Microsoft::WRL::ComPtr<ID3DBlob> vertexCode;
    Microsoft::WRL::ComPtr<ID3DBlob> pixelCode;
    std::uint64_t version = 0;  // which pair: only grows; 0 before the first
    StandingError refused;      // the device did not take the pair
};

class LiveShaders {
public:
    // Compiles from `folder`; loads the compiler from the system folder only.
    explicit LiveShaders(std::wstring watched);

    // Compiles the sources that the files `saved` (names in the folder) made
    // stale, with their pair's other source if it was never compiled. A file
    // that cannot be read now (locked, half moved) is tried again a few times
    // a second, and told once it has not been read for a second; one that
    // cannot be read until it changes (a folder, too large) is told. Each
    // failure's first message goes to standard error.
    void Poll(std::uint64_t nowMs, const std::set<std::wstring>& saved);

    const std::array<LiveMaterial, kLiveMaterialCount>& Materials() const { return materials; }

    // What the device made of material `index`'s newest pair: `problem`
    // (told, as a failure) stands until a pair of it is taken.
    void Given(std::size_t index, const std::optional<std::string>& problem);

    // The first message of the newest failure still standing; "" when there is none.
    std::string Error() const;

    // How many pairs compiled (for the benchmark): a count that only grows.
    std::uint64_t Compiled() const { return compiledCount; }

private:
    void MarkStale(const std::set<std::wstring>& saved);
    void CompilePending(LiveMaterial& material, std::uint64_t nowMs);
    void TellHeld(std::uint64_t nowMs);
    // Tells `message` as `error`, unless the same words stand already (the
    // other source of a pair compiled again, another device refusing too).
    void Tell(StandingError& error, const std::string& message);

    ShaderCompiler compiler;  // first, so that the code it compiled goes before its library
    const std::wstring folder;
    std::array<LiveMaterial, kLiveMaterialCount> materials;
    std::set<std::string> pending;  // stale sources still to compile
    std::uint64_t nextTryMs = 0;
    std::uint64_t errors = 0;
    std::uint64_t compiledCount = 0;
};
