#include "demo/run_folder.h"

#include <windows.h>

#include <gtest/gtest.h>

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

}  // namespace
