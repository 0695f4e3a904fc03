// The build tool's compiling step: good sources give bytecode, bad ones give
// a message and leave no file behind.

#include "tools/shader_compile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

class ShaderCompileTest : public testing::Test {
protected:
    void SetUp() override
    {
        directory = fs::temp_directory_path() / "vexlar_shader_compile_tests";
        std::error_code ignored;
        fs::remove_all(directory, ignored);
        fs::create_directories(directory);
        output = (directory / "out.cso").string();
    }

    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(directory, ignored);
    }

    std::string WriteFile(const char* name, const std::string& text)
    {
        const fs::path path = directory / name;
        std::ofstream(path, std::ios::binary) << text;
        return path.string();
    }

    std::string ReadOutput() const
    {
        std::ifstream in(output, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    fs::path directory;
    std::string output;
    std::string messages;
};

const char* const kValidPixelShader =
    "float4 main(float4 p : SV_Position) : SV_Target { return float4(1, 0, 0, 1); }\n";

TEST_F(ShaderCompileTest, GoodSourceReplacesAnOlderOutputWithBytecode)
{
    WriteFile("out.cso", "stale");
    const std::string source = WriteFile("good.hlsl", kValidPixelShader);

    ASSERT_TRUE(CompileShaderFile(source, "main", "ps_5_0", output, messages)) << messages;
    EXPECT_EQ(ReadOutput().substr(0, 4), "DXBC");
    EXPECT_FALSE(fs::exists(output + ".partial"));
}

TEST_F(ShaderCompileTest, FailuresLeaveAMessageAndNoOutput)
{
    const std::string good = WriteFile("good.hlsl", kValidPixelShader);
    const std::string broken = WriteFile("broken.hlsl", "float4 main() : SV_Target { return undefinedName; }\n");
    const std::string empty = WriteFile("empty.hlsl", "");
    struct Case {
        const char* what;
        std::string source;
        const char* entry;
        const char* profile;
    };
    const Case cases[] = {
        {"undeclared name", broken, "main", "ps_5_0"},
        {"empty source", empty, "main", "ps_5_0"},
        {"missing source", (directory / "absent.hlsl").string(), "main", "ps_5_0"},
        {"missing entry point", good, "absent", "ps_5_0"},
        {"unknown profile", good, "main", "xx_9_9"},
    };
    for (const Case& c : cases) {
        // A stale output from an earlier good build must not survive a failure.
        WriteFile("out.cso", "stale");
        EXPECT_FALSE(CompileShaderFile(c.source, c.entry, c.profile, output, messages)) << c.what;
        EXPECT_FALSE(messages.empty()) << c.what;
        EXPECT_FALSE(fs::exists(output)) << c.what;
        EXPECT_FALSE(fs::exists(output + ".partial")) << c.what;
    }
}

TEST_F(ShaderCompileTest, CompilerMessagesNameTheSourceFile)
{
    const std::string broken = WriteFile("broken.hlsl", "float4 main() : SV_Target { return undefinedName; }\n");
    EXPECT_FALSE(CompileShaderFile(broken, "main", "ps_5_0", output, messages));
    EXPECT_NE(messages.find("broken.hlsl"), std::string::npos) << messages;
}

TEST_F(ShaderCompileTest, AbsurdlyLargeSourceIsRefusedUnread)
{
    {
        std::ofstream big(directory / "big.hlsl", std::ios::binary);
        big.seekp(64 << 20);
        big.put('\n');
    }
    EXPECT_FALSE(CompileShaderFile((directory / "big.hlsl").string(), "main", "ps_5_0", output, messages));
    EXPECT_NE(messages.find("too large"), std::string::npos) << messages;
    EXPECT_FALSE(fs::exists(output));
}

}  // namespace
