#include "frontend/shared_library.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace tambelo::frontend {

#if defined(_WIN32)

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

#else

std::string playback_library_file_name()
{
#if defined(__APPLE__)
    return "libtambelo.dylib";
#else
    return "libtambelo.so";
#endif
}

bool SharedLibrary::load(const std::filesystem::path& path, std::string& why)
{
    unload();
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        why = reason ? reason : "unknown reason";
    }
    return handle_ != nullptr;
}

void* SharedLibrary::find(const char* name) const
{
    return handle_ ? dlsym(handle_, name) : nullptr;
}

void SharedLibrary::unload()
{
    if (handle_)
        dlclose(handle_);
    handle_ = nullptr;
}

#endif

SharedLibrary::~SharedLibrary() { unload(); }

}  // namespace tambelo::frontend
