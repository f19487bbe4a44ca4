// Reads arbitrary bytes as a page archive file: a few entries, and the
// stepping between them. Entries always come in whole pages.
#include "library/page_archive.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

// One scratch file per fuzzing process, removed when the process ends.
struct ScratchFile {
    std::string path = "/tmp/tambelo-fuzz-archive-" + std::to_string(getpid()) + ".dat";
    ~ScratchFile() { std::remove(path.c_str()); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const ScratchFile scratch;
    const std::string& path = scratch.path;
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return 0;
    const bool written = std::fwrite(data, 1, size, file) == size;
    if (std::fclose(file) != 0 || !written)
        return 0;

    using namespace tambelo;
    std::int32_t n = 0;
    for (int step = 0; step < 4; ++step) {
        const std::int32_t next = PageArchive::next_entry(path.c_str(), n);
        if (next != n && next != n + 1)
            std::abort();
        if (const auto entry = PageArchive::read_entry(path.c_str(), next)) {
            if (entry->empty() || entry->size() % PageArchive::page_size != 0)
                std::abort();
        }
        if (next == n)
            break;
        n = next;
    }
    for (const std::int32_t odd : {-1, 0, 40000, INT32_MAX})
        (void)PageArchive::read_entry(path.c_str(), odd);
    if (PageArchive::prev_entry(n) < 1)
        std::abort();
    return 0;
}
