#include "library/midi/winmm_device.h"

#include <windows.h>
#include <mmsystem.h>

#include <string_view>

namespace tambelo {

// The system's handle and the one header in flight. The header stays here,
// not on the caller's stack: the system may still hold it when the wait for
// its completion gives up.
struct WinmmDevice::Native {
    HMIDIOUT handle = nullptr;
    MIDIHDR header{};
};

namespace {

constexpr DWORD done_poll_ms = 10;
constexpr int done_poll_limit = 100;

std::string utf8_of(const wchar_t* text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return {};
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    result.resize(static_cast<std::size_t>(size - 1));
    return result;
}

std::wstring wide_of_ansi(const std::string& text)
{
    const int size = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (size <= 1)
        return {};
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, result.data(), size);
    result.resize(static_cast<std::size_t>(size - 1));
    return result;
}

std::wstring output_name(UINT device_id)
{
    MIDIOUTCAPSW caps{};
    if (midiOutGetDevCapsW(device_id, &caps, sizeof caps) != MMSYSERR_NOERROR)
        return {};
    return caps.szPname;
}

std::string error_text(MMRESULT result)
{
    wchar_t text[MAXERRORLENGTH] = {};
    std::string reason = "error " + std::to_string(result);
    if (midiOutGetErrorTextW(result, text, MAXERRORLENGTH) == MMSYSERR_NOERROR && text[0] != L'\0')
        reason += ": " + utf8_of(text);
    return reason;
}

}  // namespace

WinmmDevice::WinmmDevice(std::unique_ptr<Native> native) : native_(std::move(native)) {}

WinmmDevice::~WinmmDevice()
{
    midiOutClose(native_->handle);
}

std::unique_ptr<WinmmDevice> WinmmDevice::open_mapper(std::string* why)
{
    auto native = std::make_unique<Native>();
    const MMRESULT result = midiOutOpen(&native->handle, MIDI_MAPPER, 0, 0, CALLBACK_NULL);
    if (result != MMSYSERR_NOERROR || native->handle == nullptr) {
        if (why)
            *why = "the MIDI mapper cannot be opened (" + error_text(result) + ")";
        return nullptr;
    }
    return std::unique_ptr<WinmmDevice>(new WinmmDevice(std::move(native)));
}

std::unique_ptr<WinmmDevice> WinmmDevice::open_port(const std::string& name_part, std::string* why)
{
    const std::wstring wanted = wide_of_ansi(name_part);
    const UINT count = midiOutGetNumDevs();
    for (UINT id = 0; id < count; ++id) {
        const std::wstring name = output_name(id);
        if (wanted.empty() || name.find(wanted) == std::wstring::npos)
            continue;
        auto native = std::make_unique<Native>();
        const MMRESULT result = midiOutOpen(&native->handle, id, 0, 0, CALLBACK_NULL);
        if (result != MMSYSERR_NOERROR || native->handle == nullptr) {
            if (why)
                *why = "MIDI output \"" + utf8_of(name.c_str()) + "\" cannot be opened (" +
                       error_text(result) + ")";
            return nullptr;
        }
        return std::unique_ptr<WinmmDevice>(new WinmmDevice(std::move(native)));
    }
    if (why)
        *why = "no MIDI output whose name contains \"" + utf8_of(wanted.c_str()) +
               "\" (tambelo-cli ports lists them)";
    return nullptr;
}

bool WinmmDevice::send_short(std::uint32_t message)
{
    return midiOutShortMsg(native_->handle, message) == MMSYSERR_NOERROR;
}

bool WinmmDevice::prepare_header(MidiHeader& header)
{
    MIDIHDR& native = native_->header;
    native = MIDIHDR{};
    native.lpData = reinterpret_cast<LPSTR>(const_cast<std::uint8_t*>(header.data));
    native.dwBufferLength = header.buffer_length;
    native.dwBytesRecorded = header.bytes_recorded;
    if (midiOutPrepareHeader(native_->handle, &native, sizeof native) != MMSYSERR_NOERROR)
        return false;
    header.flags.fetch_or(midi_header_prepared);
    return true;
}

bool WinmmDevice::send_long(MidiHeader& header)
{
    MIDIHDR& native = native_->header;
    if (midiOutLongMsg(native_->handle, &native, sizeof native) != MMSYSERR_NOERROR)
        return false;
    // The system sets MHDR_DONE in its header from its own thread.
    const volatile DWORD& flags = native.dwFlags;
    for (int polls = 0; (flags & MHDR_DONE) == 0; ++polls) {
        if (polls == done_poll_limit)
            return false;
        Sleep(done_poll_ms);
    }
    header.flags.fetch_or(midi_header_done);
    return true;
}

bool WinmmDevice::unprepare_header(MidiHeader& header)
{
    MIDIHDR& native = native_->header;
    if (midiOutUnprepareHeader(native_->handle, &native, sizeof native) != MMSYSERR_NOERROR)
        return false;
    header.flags.fetch_and(~midi_header_prepared);
    return true;
}

std::vector<std::string> list_winmm_outputs()
{
    std::vector<std::string> names;
    const UINT count = midiOutGetNumDevs();
    for (UINT id = 0; id < count; ++id)
        names.push_back(utf8_of(output_name(id).c_str()));
    return names;
}

}  // namespace tambelo
