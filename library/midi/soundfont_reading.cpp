#include "library/midi/soundfont_reading.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdio>

namespace tambelo {
namespace {

constexpr std::uintptr_t huge_page_bytes = std::uintptr_t{2} << 20;
// Smaller reads are the SoundFont's headers and lists; only the samples are
// worth the advice.
constexpr fluid_long_long_t sample_read_bytes = fluid_long_long_t{8} << 20;

// Asks for huge pages for the whole huge pages inside `buffer`, not yet
// touched. Only advice: where the system has none to give, small pages back
// the memory as before.
void advise_huge_pages(void* buffer, fluid_long_long_t bytes)
{
#ifdef MADV_HUGEPAGE
    const auto first = reinterpret_cast<std::uintptr_t>(buffer);
    const std::uintptr_t start = (first + huge_page_bytes - 1) & ~(huge_page_bytes - 1);
    const std::uintptr_t end = (first + static_cast<std::uintptr_t>(bytes)) & ~(huge_page_bytes - 1);
    if (end > start)
        madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
    (void)buffer;
    (void)bytes;
#endif
}

void* open_file(const char* path)
{
    return std::fopen(path, "rb");
}

int read_file(void* buffer, fluid_long_long_t bytes, void* file)
{
    if (bytes >= sample_read_bytes)
        advise_huge_pages(buffer, bytes);
    const auto count = static_cast<std::size_t>(bytes);
    return std::fread(buffer, 1, count, static_cast<std::FILE*>(file)) == count ? FLUID_OK : FLUID_FAILED;
}

int seek_file(void* file, fluid_long_long_t offset, int origin)
{
    return fseeko(static_cast<std::FILE*>(file), static_cast<off_t>(offset), origin) == 0 ? FLUID_OK : FLUID_FAILED;
}

fluid_long_long_t tell_file(void* file)
{
    const off_t at = ftello(static_cast<std::FILE*>(file));
    return at < 0 ? FLUID_FAILED : static_cast<fluid_long_long_t>(at);
}

int close_file(void* file)
{
    return std::fclose(static_cast<std::FILE*>(file)) == 0 ? FLUID_OK : FLUID_FAILED;
}

}  // namespace

fluid_sfloader_t* new_soundfont_loader(fluid_settings_t* settings)
{
    fluid_sfloader_t* loader = new_fluid_defsfloader(settings);
    if (loader)
        fluid_sfloader_set_callbacks(loader, open_file, read_file, seek_file, tell_file, close_file);
    return loader;
}

}  // namespace tambelo
