#include "audio/bass_calls.h"

#include "audio/exception_barrier.h"

#include <string>

namespace {

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

BOOL InitOn(AudioLibrary& library, int device)
{
    return FailOnException(FALSE, [&] { return library.Init(device) ? TRUE : FALSE; });
}

BOOL FreeOn(AudioLibrary& library)
{
    return FailOnException(FALSE, [&] { return library.Free() ? TRUE : FALSE; });
}

DWORD StreamCreateFileOn(AudioLibrary& library, BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags)
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
        return DWORD{library.CreateStream(path, (flags & BASS_SAMPLE_LOOP) != 0)};
    });
}

BOOL ChannelStartOn(AudioLibrary& library, DWORD handle)
{
    return FailOnException(FALSE, [&] { return library.Start(handle) ? TRUE : FALSE; });
}

QWORD ChannelGetPositionOn(AudioLibrary& library, DWORD handle, DWORD mode)
{
    if (mode != BASS_POS_BYTE) {
        return kFailedPosition;
    }
    return FailOnException(kFailedPosition, [&] { return library.PlayedBytes(handle).value_or(kFailedPosition); });
}

QWORD ChannelGetLengthOn(AudioLibrary& library, DWORD handle, DWORD mode)
{
    if (mode != BASS_POS_BYTE) {
        return kFailedPosition;
    }
    return FailOnException(kFailedPosition, [&] { return library.LengthBytes(handle).value_or(kFailedPosition); });
}

double ChannelBytes2SecondsOn(AudioLibrary& library, DWORD handle, QWORD pos)
{
    return FailOnException(-1.0, [&] { return library.BytesToSeconds(handle, pos).value_or(-1.0); });
}

QWORD ChannelSeconds2BytesOn(AudioLibrary& library, DWORD handle, double pos)
{
    return FailOnException(kFailedPosition,
                           [&] { return library.SecondsToBytes(handle, pos).value_or(kFailedPosition); });
}

BOOL ChannelPlayOn(AudioLibrary& library, DWORD handle, BOOL restart)
{
    return FailOnException(FALSE, [&] { return library.Play(handle, restart != FALSE) ? TRUE : FALSE; });
}

BOOL ChannelPauseOn(AudioLibrary& library, DWORD handle)
{
    return FailOnException(FALSE, [&] { return library.Pause(handle) ? TRUE : FALSE; });
}

BOOL ChannelSetPositionOn(AudioLibrary& library, DWORD handle, QWORD pos, DWORD mode)
{
    if (mode != BASS_POS_BYTE) {
        return FALSE;
    }
    return FailOnException(FALSE, [&] { return library.SetPosition(handle, pos) ? TRUE : FALSE; });
}

DWORD ChannelIsActiveOn(AudioLibrary& library, DWORD handle)
{
    return FailOnException(DWORD{BASS_ACTIVE_STOPPED}, [&] {
        switch (library.Activity(handle)) {
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
