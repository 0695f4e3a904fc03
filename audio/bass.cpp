#include "audio/bass.h"

#include "audio/audio_library.h"
#include "audio/exception_barrier.h"

#include <string>

namespace {

// The one library state of the process. It is never destroyed: the program
// neither frees its stream nor shuts the library down, and tearing playback
// down while the process exits (its threads already gone) could only hang.
AudioLibrary& Library()
{
    // NOLINTNEXTLINE(cppcoreguidelines-avoid-non-const-global-variables): the exported functions' one library.
    static AudioLibrary* const library = new AudioLibrary();
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

BASS_API QWORD WINAPI BASS_ChannelSeconds2Bytes(DWORD handle, double pos)
{
    return FailOnException(kFailedPosition,
                           [&] { return Library().SecondsToBytes(handle, pos).value_or(kFailedPosition); });
}

BASS_API BOOL WINAPI BASS_ChannelPlay(DWORD handle, BOOL restart)
{
    return FailOnException(FALSE, [&] { return Library().Play(handle, restart != FALSE) ? TRUE : FALSE; });
}

BASS_API BOOL WINAPI BASS_ChannelPause(DWORD handle)
{
    return FailOnException(FALSE, [&] { return Library().Pause(handle) ? TRUE : FALSE; });
}

BASS_API BOOL WINAPI BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode)
{
    if (mode != BASS_POS_BYTE) {
        return FALSE;
    }
    return FailOnException(FALSE, [&] { return Library().SetPosition(handle, pos) ? TRUE : FALSE; });
}

BASS_API DWORD WINAPI BASS_ChannelIsActive(DWORD handle)
{
    return FailOnException(DWORD{BASS_ACTIVE_STOPPED}, [&] {
        switch (Library().Activity(handle)) {
        case Playback::Activity::Playing:
            return DWORD{BASS_ACTIVE_PLAYING};
        case Playback::Activity::Stalled:
            return DWORD{BASS_ACTIVE_STALLED};
        case Playback::Activity::Paused:
            return DWORD{BASS_ACTIVE_PAUSED};
        case Playback::Activity::Stopped:
            break;
        }
        return DWORD{BASS_ACTIVE_STOPPED};
    });
}
