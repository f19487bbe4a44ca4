#include "cli/export/flac_comments.h"

#include <FLAC/metadata.h>

#include <memory>

namespace tambelo {
namespace {

struct ChainDeleter {
    void operator()(FLAC__Metadata_Chain* chain) const { FLAC__metadata_chain_delete(chain); }
};
struct IteratorDeleter {
    void operator()(FLAC__Metadata_Iterator* iterator) const { FLAC__metadata_iterator_delete(iterator); }
};

// The file's comment block, made after its STREAMINFO when it has none.
FLAC__StreamMetadata* comment_block(FLAC__Metadata_Chain* chain)
{
    std::unique_ptr<FLAC__Metadata_Iterator, IteratorDeleter> blocks(FLAC__metadata_iterator_new());
    if (!blocks)
        return nullptr;
    FLAC__metadata_iterator_init(blocks.get(), chain);
    do {
        if (FLAC__metadata_iterator_get_block_type(blocks.get()) == FLAC__METADATA_TYPE_VORBIS_COMMENT)
            return FLAC__metadata_iterator_get_block(blocks.get());
    } while (FLAC__metadata_iterator_next(blocks.get()));

    FLAC__metadata_iterator_init(blocks.get(), chain);
    FLAC__StreamMetadata* block = FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT);
    if (block == nullptr)
        return nullptr;
    if (!FLAC__metadata_iterator_insert_block_after(blocks.get(), block)) {
        FLAC__metadata_object_delete(block);
        return nullptr;
    }
    return block;
}

}  // namespace

std::string add_flac_comments(const std::string& path, const std::vector<std::pair<std::string, std::string>>& comments)
{
    std::unique_ptr<FLAC__Metadata_Chain, ChainDeleter> chain(FLAC__metadata_chain_new());
    if (!chain || !FLAC__metadata_chain_read(chain.get(), path.c_str()))
        return "cannot read back " + path + " to add its comments";
    FLAC__StreamMetadata* block = comment_block(chain.get());
    if (block == nullptr)
        return "out of memory";
    for (const auto& [name, value] : comments) {
        FLAC__StreamMetadata_VorbisComment_Entry entry;
        if (!FLAC__metadata_object_vorbiscomment_entry_from_name_value_pair(&entry, name.c_str(), value.c_str()) ||
            !FLAC__metadata_object_vorbiscomment_append_comment(block, entry, /*copy=*/false))
            return "out of memory";
    }
    FLAC__metadata_chain_sort_padding(chain.get());
    if (!FLAC__metadata_chain_write(chain.get(), /*use_padding=*/true, /*preserve_file_stats=*/false))
        return "cannot add the comments to " + path + ": " +
               FLAC__Metadata_ChainStatusString[FLAC__metadata_chain_status(chain.get())];
    return {};
}

}  // namespace tambelo
