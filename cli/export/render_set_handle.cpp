#include "cli/export/render_set_handle.h"

#include "cli/input_files.h"

#include <limits>

namespace tambelo {

RenderSetHandle open_render_set(const std::string& score_path, const std::string& voice_path, std::string& why)
{
    constexpr std::size_t any_size = std::numeric_limits<std::size_t>::max();
    const auto score = cli::read_whole_file(score_path, any_size, &why);
    if (!score)
        return nullptr;
    std::string voices;
    if (!voice_path.empty())
        voices = cli::read_whole_file(voice_path, any_size, nullptr).value_or(std::string());
    tambelo_set* opened = nullptr;
    if (const char* reason =
            tambelo_set_open_memory(score->data(), score->size(), voices.data(), voices.size(), nullptr, 0, &opened)) {
        why = reason;
        return nullptr;
    }
    return RenderSetHandle(opened);
}

}  // namespace tambelo
