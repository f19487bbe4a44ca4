// Loading the playback library with LoadLibrary.

#include "frontend/window_logic/shared_library.h"

#include <windows.h>

namespace tambelo::frontend {

std::string playback_library_file_name() { return "tambelo.dll"; }

bool SharedLibrary::load(const std::filesystem::path& path, std::string& why)
{
    unload();
    handle_ = reinterpret_cast<void*>(LoadLibraryW(path.c_str()));
    if (handle_ == nullptr)
        why = "Windows error " + std::to_string(GetLastError());
    return handle_ != nullptr;
}

void* SharedLibrary::find(const char* name) const
{
    return handle_ ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name))
                   : nullptr;
}

void SharedLibrary::unload()
{
    if (handle_)
        FreeLibrary(static_cast<HMODULE>(handle_));
    handle_ = nullptr;
}

SharedLibrary::~SharedLibrary() { unload(); }

}  // namespace tambelo::frontend
