#include "demo/live_shaders.h"

#include "demo/shader_sources.h"
#include "platform/unicode_text.h"

#include <map>
#include <utility>
#include <vector>

namespace {

// A few looks a second: a save shows within a frame or two of being still.
constexpr std::uint64_t kPollIntervalMs = 50;

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
    if (!compiler.Loaded()) {
        WriteToStandardError("the system's shader compiler (d3dcompiler_47.dll) cannot be loaded: saved shaders are "
                             "not compiled");
    }
}

void LiveShaders::Poll(std::uint64_t nowMs)
{
    if (nowMs < nextLookMs || !compiler.Loaded()) {
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
            if (ReadWholeFile(watch.Folder() + L"\\" + name, text) == FileRead::Read) {
                includes[Utf8FromUtf16(name).value_or(std::string())] = IncludedNames(text);
            }
        }
        std::set<std::string> savedNames;
        for (const std::wstring& name : saved) {
            savedNames.insert(Utf8FromUtf16(name).value_or(std::string()));
        }
        std::vector<std::string> names;
        for (const LiveSource& source : sources) {
            names.emplace_back(source.file);
        }
        pending.merge(StaleSources(savedNames, includes, names));
    }
    for (std::size_t index = 0; index < sources.size(); ++index) {
        LiveSource& source = sources[index];
        if (!pending.contains(source.file)) {
            continue;
        }
        ShaderCompile compiled = compiler.Compile(watch.Folder(), source.file, source.profile);
        switch (compiled.outcome) {
        case ShaderCompile::Outcome::Locked:
            continue;  // still pending
        case ShaderCompile::Outcome::Missing:
            // Taken away, perhaps to be saved again under its name: the last
            // good shader draws on, and the next save is compiled.
            break;
        case ShaderCompile::Outcome::Failed:
            Report(index, compiled.message);
            break;
        case ShaderCompile::Outcome::Compiled:
            source.code = std::move(compiled.code);
            source.version = ++compiledCount;
            source.error.clear();
            break;
        }
        pending.erase(source.file);
    }
}

void LiveShaders::Report(std::size_t index, const std::string& message)
{
    LiveSource& source = sources[index];
    source.error = message;
    source.errorOrder = ++errors;
    WriteToStandardError(message);
}

std::string LiveShaders::Error() const
{
    const LiveSource* newest = nullptr;
    for (const LiveSource& source : sources) {
        if (!source.error.empty() && (newest == nullptr || source.errorOrder > newest->errorOrder)) {
            newest = &source;
        }
    }
    return newest == nullptr ? std::string() : newest->error;
}
