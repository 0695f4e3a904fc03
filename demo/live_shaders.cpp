#include "demo/live_shaders.h"

#include "demo/command_line.h"
#include "demo/shader_sources.h"
#include "demo/shader_watch.h"
#include "platform/unicode_text.h"

#include <map>
#include <utility>
#include <vector>

namespace {

// A file that cannot be read now is tried again this often.
constexpr std::uint64_t kTryAgainMs = 50;
// How long a file may stay locked before that is told.
constexpr std::uint64_t kBusyMs = 1000;

bool NeverCompiled(const LiveSource& source)
{
    return !source.newest && source.error.message.empty();
}

}  // namespace

LiveShaders::LiveShaders(std::wstring watched)
    : folder(std::move(watched)), materials{{{.vertex = {.file = "cube_vertex.hlsl", .profile = "vs_5_0"},
                                              .pixel = {.file = "cube_pixel.hlsl", .profile = "ps_5_0"}},
                                             {.vertex = {.file = "pyramid_vertex.hlsl", .profile = "vs_5_0"},
                                              .pixel = {.file = "pyramid_pixel.hlsl", .profile = "ps_5_0"}}}}
{
    if (!compiler.Loaded()) {
        WriteStandardError("vexlar: the system's shader compiler (d3dcompiler_47.dll) cannot be loaded: saved shaders "
                           "are not compiled\n");
    }
}

void LiveShaders::Poll(std::uint64_t nowMs, const std::set<std::wstring>& saved)
{
    if (!compiler.Loaded()) {
        return;
    }
    if (!saved.empty()) {
        MarkStale(saved);
    }
    if (!pending.empty() && (!saved.empty() || nowMs >= nextTryMs)) {
        for (LiveMaterial& material : materials) {
            CompilePending(material, nowMs);
        }
        nextTryMs = nowMs + kTryAgainMs;
    }
    TellHeld(nowMs);
}

void LiveShaders::MarkStale(const std::set<std::wstring>& saved)
{
    std::set<std::string> savedNames;
    for (const std::wstring& name : saved) {
        savedNames.insert(Utf8FromUtf16(name).value_or(std::string()));
    }
    // What includes what, as the files read now. One that cannot be read now
    // counts as saved: what it includes is unknown, so the sources above it
    // are compiled again, which waits until it can be read.
    std::map<std::string, std::vector<std::string>> includes;
    for (const std::wstring& name : ShaderFiles(folder)) {
        const std::string utf8 = Utf8FromUtf16(name).value_or(std::string());
        std::string text;
        const FileRead read = ReadWholeFile(folder + L"\\" + name, text);
        if (read.outcome == FileRead::Outcome::Read) {
            includes[utf8] = IncludedNames(text);
        } else if (read.outcome != FileRead::Outcome::Missing) {
            savedNames.insert(utf8);
        }
    }
    std::vector<std::string> names;
    for (const LiveMaterial& material : materials) {
        names.insert(names.end(), {material.vertex.file, material.pixel.file});
    }
    pending.merge(StaleSources(savedNames, includes, names));
    // A pair is made of both files as they stand: one never compiled goes too.
    for (const LiveMaterial& material : materials) {
        if (pending.contains(material.vertex.file) || pending.contains(material.pixel.file)) {
            for (const LiveSource* source : {&material.vertex, &material.pixel}) {
                if (NeverCompiled(*source)) {
                    pending.insert(source->file);
                }
            }
        }
    }
}

void LiveShaders::CompilePending(LiveMaterial& material, std::uint64_t nowMs)
{
    using Outcome = ShaderCompile::Outcome;
    bool compiled = false;
    bool waiting = false;
    for (LiveSource* source : {&material.vertex, &material.pixel}) {
        if (!pending.contains(source->file)) {
            continue;
        }
        ShaderCompile compile = compiler.Compile(folder, source->file, source->profile);
        if (compile.outcome == Outcome::Busy) {
            waiting = true;  // still pending
            source->busySinceMs = source->busySinceMs.value_or(nowMs);
            source->held = compile.message;
            source->tellAtMs = *source->busySinceMs + kBusyMs;
            continue;
        }
        pending.erase(source->file);
        compiled = true;
        source->busySinceMs.reset();
        source->held.clear();
        // Taken away (Missing), perhaps to be saved again under its name: the
        // last good pair draws on, and the next save is compiled.
        source->newest = std::move(compile.code);
        if (compile.outcome == Outcome::Failed || compile.outcome == Outcome::Unreadable) {
            source->held = compile.message;
            source->tellAtMs = nowMs + kSaveSettleMs;
        } else if (compile.outcome == Outcome::Compiled) {
            source->error = {};
        }
    }
    if (compiled && !waiting && material.vertex.newest && material.pixel.newest) {
        material.vertexCode = material.vertex.newest;
        material.pixelCode = material.pixel.newest;
        material.version = ++compiledCount;
    }
}

void LiveShaders::TellHeld(std::uint64_t nowMs)
{
    for (LiveMaterial& material : materials) {
        for (LiveSource* source : {&material.vertex, &material.pixel}) {
            if (!source->held.empty() && nowMs >= source->tellAtMs) {
                Tell(source->error, source->held);
                source->held.clear();
            }
        }
    }
}

void LiveShaders::Given(std::size_t index, const std::optional<std::string>& problem)
{
    if (problem) {
        Tell(materials[index].refused, *problem);
    } else {
        materials[index].refused = {};
    }
}

void LiveShaders::Tell(StandingError& error, const std::string& message)
{
    if (error.message == message) {
        return;
    }
    error = {.message = message, .order = ++errors};
    WriteStandardError("vexlar: " + message + "\n");
}

std::string LiveShaders::Error() const
{
    const StandingError* newest = nullptr;
    for (const LiveMaterial& material : materials) {
        for (const StandingError* error : {&material.vertex.error, &material.pixel.error, &material.refused}) {
            if (!error->message.empty() && (newest == nullptr || error->order > newest->order)) {
                newest = error;
            }
        }
    }
    return newest == nullptr ? std::string() : newest->message;
}
