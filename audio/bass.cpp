#include "audio/bass.h"

#include "audio/audio_library.h"
#include "audio/exception_barrier.h"
#include "audio/runtime_exit.h"

#include <string>

namespace {

AudioLibrary& Library();

int __cdecl EndOnExit()
{
    Library().EndAtExit();
    return 0;
}

void __cdecl EndAtExit()
{
    Library().EndAtExit();
}

AudioLibrary* MakeLibrary()
{
    auto* library = new AudioLibrary();
    // A program may return from main with its music playing and never call
    // BASS_Free (the demo's specification does): the streams then end in the
    // runtime's exit, while every thread still runs.
    RunAtRuntimeExit(EndOnExit, EndAtExit);
    return library;
}

// The one library state of the process. It is never destroyed: after
// ExitProcess has ended the other threads, tearing playback down could only
// hang, and its end at the runtime's exit (or BASS_Free) leaves nothing
// running to destroy.
AudioLibrary& Library()
{
    // NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables): the exported functions' one library.
    static AudioLibrary* const library = MakeLibrary();
    return *library;
}

constexpr QWORD kFailedPosition = ~QWORD{0};

bool ToWide(const void* file, bool unicode, std::wstring& path)
{
    if (file == nullptr) {
        return false;
    }
    if (unicode) {
        path = static_cast<const wchar_t*>(file);
        return true;
    }
    const char* ansi = static_cast<const char*>(file);
    const int length = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi, -1, nullptr, 0);
    if (length <= 0) {
        return false;
    }
    path.assign(static_cast<std::size_t>(length), L'\0');
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, ansi, -1, path.data(), length) != length) {
        return false;
    }
    path.resize(static_cast<std::size_t>(length) - 1);  // the terminator
    return true;
}

}  // namespace

// Each call fails as it fails for any other reason when memory or a thread
// cannot be had: no exception reaches the program through the C interface.

BASS_API BOOL WINAPI BASS_Init(int device, DWORD, DWORD, HWND, const void*)
{
    return FailOnException(FALSE, [&] { return Library().Init(device) ? TRUE : FALSE; });
}

BASS_API BOOL WINAPI BASS_Free()
{
    return FailOnException(FALSE, [] { return Library().Free() ? TRUE : FALSE; });
}

BASS_API DWORD WINAPI BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags)
{
    // Only whole files are played here, not memory blocks or parts of files.
    if (mem || offset != 0 || length != 0) {
        return 0;
    }
    return FailOnException(DWORD{0}, [&] {
        std::wstring path;
        if (!ToWide(file, (flags & BASS_UNICODE) != 0, path)) {
            return DWORD{0};
        }
        return DWORD{Library().CreateStream(path, (flags & BASS_SAMPLE_LOOP) != 0)};
    });
}

BASS_API BOOL WINAPI BASS_ChannelStart(DWORD handle)
{
    return FailOnException(FALSE, [&] { return Library().Start(handle) ? TRUE : FALSE; });
}

BASS_API QWORD WINAPI BASS_ChannelGetPosition(DWORD handle, DWORD mode)
{
    if (mode != BASS_POS_BYTE) {
        return kFailedPosition;
    }
    return FailOnException(kFailedPosition, [&] { return Library().PlayedBytes(handle).value_or(kFailedPosition); });
}

BASS_API QWORD WINAPI BASS_ChannelGetLength(DWORD handle, DWORD mode)
{
    if (mode != BASS_POS_BYTE) {
        return kFailedPosition;
    }
    return FailOnException(kFailedPosition, [&] { return Library().LengthBytes(handle).value_or(kFailedPosition); });
}

BASS_API double WINAPI BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos)
{
    return FailOnException(-1.0, [&] { return Library().BytesToSeconds(handle, pos).value_or(-1.0); });
}

// NOLINTNEXTLINE(readability-identifier-naming): the name the loader calls.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID processEnding)
{
    // Here the process's other threads are already gone: a stream still
    // playing is left as it is.
    if (reason == DLL_PROCESS_DETACH && processEnding != nullptr) {
        Library().Abandon();
    }
    return TRUE;
}
