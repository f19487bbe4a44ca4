#include "score_table.h"

/* A page archive starts with a table of 16-bit little-endian page numbers:
 * word 0 is the first page after the table (pages are 256 bytes, page 1 at
 * byte 0), word n the first page of entry n, and a zero word ends the table.
 * A score archive's tracks are entries 1 and on. */
#define PAGE_BYTES 256u

static unsigned table_word(const uint8_t* table, size_t index)
{
    return (unsigned)table[2 * index] | ((unsigned)table[2 * index + 1] << 8);
}

size_t tambelo_score_table_bytes(const uint8_t first_two[2])
{
    const unsigned first_page = table_word(first_two, 0);
    if (first_page < 2 || (first_page - 1) * PAGE_BYTES > TAMBELO_SCORE_TABLE_MOST_BYTES)
        return 0;
    return (first_page - 1) * PAGE_BYTES;
}

unsigned tambelo_score_table_tracks(const uint8_t* head, size_t head_bytes, uint64_t file_bytes)
{
    if (head_bytes < 2)
        return 0;
    const size_t table_bytes = tambelo_score_table_bytes(head);
    if (table_bytes == 0 || head_bytes < table_bytes)
        return 0;
    const size_t table_words = table_bytes / 2;

    /* Words never decrease up to the zero word that ends the table inside
     * its pages. */
    size_t words = 1;
    while (words < table_words && table_word(head, words) != 0) {
        if (table_word(head, words) < table_word(head, words - 1))
            return 0;
        words++;
    }
    if (words == table_words || words < 3)
        return 0;
    /* Every track spans at least one page, starting inside the file. */
    unsigned tracks = 0;
    for (size_t entry = 1; entry + 1 < words; entry++) {
        const unsigned start = table_word(head, entry);
        if (table_word(head, entry + 1) <= start)
            return 0;
        if (file_bytes != 0 && (uint64_t)(start - 1) * PAGE_BYTES >= file_bytes)
            return 0;
        tracks++;
    }
    return tracks;
}
