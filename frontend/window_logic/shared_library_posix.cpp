// Loading the playback library with dlopen.

#include "frontend/window_logic/shared_library.h"

#include <dlfcn.h>

namespace tambelo::frontend {

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

SharedLibrary::~SharedLibrary() { unload(); }

}  // namespace tambelo::frontend
