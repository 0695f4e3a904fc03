// Calls through delay-load import libraries made for this test (see
// CMakeLists.txt): one names a DLL that is not there, one a function that
// avrt.dll does not have.
#include <gtest/gtest.h>
#include <windows.h>

extern "C" HRESULT WINAPI VexlarAbsentCall(void* argument);
extern "C" HANDLE WINAPI AvVexlarAbsentCall(const wchar_t* argument, DWORD* index);

namespace {

TEST(DelayLoadFailure, ANameThatCannotBeFoundIsAFailedCall)
{
    // A missing DLL, as Media Foundation on Windows' N editions: the call's HRESULT fails, every time.
    for (int call = 0; call < 2; ++call) {
        EXPECT_EQ(VexlarAbsentCall(nullptr), HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND));
    }
    // A missing function of avrt.dll, whose functions fail with 0 and say why.
    DWORD index = 0;
    SetLastError(0);
    EXPECT_EQ(AvVexlarAbsentCall(L"Audio", &index), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
}

}  // namespace
