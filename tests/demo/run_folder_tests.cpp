#include "demo/author_folder.h"
#include "demo/run_folder.h"
#include "demo/source_marker.h"
#include "platform/unicode_text.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::wstring CurrentDirectory()
{
    std::wstring path(GetCurrentDirectoryW(0, nullptr), L'\0');
    path.resize(GetCurrentDirectoryW(static_cast<DWORD>(path.size()), path.data()));
    return path;
}

TEST(FolderOfFile, KeepsWhatTheWorkingDirectoryNeeds)
{
    struct Case {
        const wchar_t* path;
        const wchar_t* folder;
    };
    const Case cases[] = {
        {L"C:\\Games\\vexlar-1.0.0\\vexlar.exe", L"C:\\Games\\vexlar-1.0.0"},
        {L"Z:\\tmp\\a b\\vexlar.exe", L"Z:\\tmp\\a b"},
        {L"Z:/tmp/run/vexlar.exe", L"Z:/tmp/run"},
        // A root keeps its separator: "C:" would be the drive's current folder.
        {L"C:\\vexlar.exe", L"C:\\"},
        {L"\\vexlar.exe", L"\\"},
        {L"\\\\server\\share\\demo\\vexlar.exe", L"\\\\server\\share\\demo"},
        {L"\\\\?\\C:\\Games\\vexlar.exe", L"C:\\Games"},
        {L"\\\\?\\C:\\vexlar.exe", L"C:\\"},
        // No folder to go to.
        {L"vexlar.exe", L""},
        {L"", L""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FolderOfFile(c.path), c.folder) << std::string(c.path, c.path + wcslen(c.path));
    }
}

// Only the one full path the build writes names a folder: a relative one
// would be taken from wherever the program was started.
TEST(SourceMarker, NamesOneFullPathOnOneLineAndNothingElse)
{
    EXPECT_EQ(SourceFolderOfMarker("Z:\\work\\vexlar\\shaders\r\n"), "Z:\\work\\vexlar\\shaders");
    EXPECT_EQ(SourceFolderOfMarker("\\\\server\\share\\shaders"), "\\\\server\\share\\shaders");
    EXPECT_EQ(SourceFolderOfMarker("\xEF\xBB\xBFZ:\\shaders\n"), "Z:\\shaders");  // saved by an editor
    const std::string refused[] = {
        "",
        "shaders\n",
        "\\work\\shaders\n",
        "C:shaders\n",
        "C:\\one\nC:\\two\n",
        std::string("C:\\one\0two", 10),
        "C:\\" + std::string(kLongestSourceMarker - 3, 'a') + "\n",
    };
    for (const std::string& bytes : refused) {
        EXPECT_EQ(SourceFolderOfMarker(bytes), std::nullopt) << bytes.substr(0, 40);
    }
}

// The tests run from the program's run folder; each case puts it back.
class ExecutableFolder : public testing::Test {
protected:
    void SetUp() override { original = CurrentDirectory(); }
    void TearDown() override { SetCurrentDirectoryW(original.c_str()); }

    std::wstring original;
};

TEST_F(ExecutableFolder, BecomesTheWorkingDirectoryFromAnywhere)
{
    wchar_t temporary[MAX_PATH + 1]{};
    ASSERT_NE(GetTempPathW(MAX_PATH + 1, temporary), 0u);
    ASSERT_TRUE(SetCurrentDirectoryW(temporary));

    ASSERT_TRUE(UseExecutableFolderAsWorkingDirectory());

    wchar_t executable[MAX_PATH]{};
    ASSERT_NE(GetModuleFileNameW(nullptr, executable, MAX_PATH), 0u);
    EXPECT_EQ(CurrentDirectory(), FolderOfFile(executable));
    // Relative paths now reach the files beside the executable.
    EXPECT_NE(GetFileAttributesW(L"bass.dll"), INVALID_FILE_ATTRIBUTES);
}

void Put(const std::wstring& path, const std::string& bytes)
{
    std::ofstream(std::filesystem::path(path), std::ios::binary) << bytes;
}

// FOLDER is taken from the working directory; without it, the build's marker
// names the source tree's folder while it exists, else the shaders beside the
// program serve. Compiled shaders alone are no sources to work on.
TEST_F(ExecutableFolder, AuthorFolderIsTheOneTypedElseTheBuildsElseBesideTheProgram)
{
    wchar_t temporary[MAX_PATH + 1]{};
    ASSERT_NE(GetTempPathW(MAX_PATH + 1, temporary), 0u);
    const std::wstring root = std::wstring(temporary) + L"author-folder";
    const std::wstring program = root + L"\\program";
    const std::wstring source = root + L"\\source";
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    std::filesystem::create_directories(program + L"\\shaders");
    std::filesystem::create_directories(source);
    ASSERT_TRUE(SetCurrentDirectoryW(root.c_str()));

    // The run folder's own marker (the suite starts there) names the source tree's shaders.
    const std::wstring built = AuthorFolder(L"", original);
    EXPECT_NE(built, original + L"\\shaders");
    EXPECT_EQ(AuthorFolderProblem(built), std::nullopt);

    EXPECT_EQ(AuthorFolder(L"source", program), source);
    const std::wstring marker = program + L"\\" + std::wstring(kSourceMarkerName);
    Put(marker, Utf8FromUtf16(source).value_or("") + "\n");
    EXPECT_EQ(AuthorFolder(L"", program), source);
    EXPECT_EQ(AuthorFolderNotice(program + L"\\shaders", program), std::nullopt);
    // The shaders beside the program, where a build's own were expected: told, naming both.
    const std::string programText = Utf8FromUtf16(program).value_or("");
    Put(marker, Utf8FromUtf16(source).value_or("") + "-moved\n");
    EXPECT_EQ(AuthorFolder(L"", program), program + L"\\shaders");
    EXPECT_EQ(AuthorFolderNotice(program + L"\\shaders", program),
              "watching " + programText + "\\shaders: the folder source-shaders.txt names, " +
                  Utf8FromUtf16(source).value_or("") + "-moved, does not exist");
    Put(marker, "shaders\n");
    EXPECT_EQ(AuthorFolderNotice(program + L"\\shaders", program),
              "watching " + programText + "\\shaders: source-shaders.txt names no folder (one full path on one line)");
    EXPECT_EQ(AuthorFolderNotice(source, program), std::nullopt);  // a FOLDER of the author's own

    Put(program + L"\\shaders\\PSDefault.cso", "DXBC");
    EXPECT_EQ(AuthorFolderProblem(program + L"\\shaders"),
              "the shader folder " + Utf8FromUtf16(program).value_or("") + "\\shaders holds no shader source (.hlsl)");
    // Looked at again each second, the problem goes once a source is there.
    AuthorFolderCheck check(program + L"\\shaders", program);
    EXPECT_NE(check.Problem(0), "");
    Put(program + L"\\shaders\\pyramid_pixel.hlsl", "");
    EXPECT_EQ(AuthorFolderProblem(program + L"\\shaders"), std::nullopt);
    EXPECT_EQ(check.Problem(1000), "");
}

}  // namespace
