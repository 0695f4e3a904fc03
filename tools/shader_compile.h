#pragma once

#include <string>

// Compiles one HLSL source file with D3DCompile and writes the bytecode to
// outputPath. On failure nothing is left at outputPath (an older file there is
// removed, so a stale shader never outlives a broken source) and messages
// holds the reason; on success messages holds the compiler's warnings, if any.
bool CompileShaderFile(const std::string& sourcePath, const std::string& entryPoint, const std::string& profile,
                       const std::string& outputPath, std::string& messages);
