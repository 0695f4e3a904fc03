// Build tool: compiles one HLSL file into a .cso file.
//   shader_compiler <source.hlsl> <entry> <profile> <output.cso>
// Prints the compiler's messages and exits non-zero when compilation fails.

#include "tools/shader_compile.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: shader_compiler <source.hlsl> <entry> <profile> <output.cso>\n");
        return 2;
    }
    std::string messages;
    const bool compiled = CompileShaderFile(argv[1], argv[2], argv[3], argv[4], messages);
    if (!messages.empty()) {
        std::fprintf(stderr, "%s\n", messages.c_str());
    }
    if (!compiled) {
        std::fprintf(stderr, "shader_compiler: %s was not compiled\n", argv[1]);
        return 1;
    }
    return 0;
}
