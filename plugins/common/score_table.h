/* Recognising a score archive ("amus.dat") by its content, for the plugins'
 * hosts, which try every plugin on files of any name. */
#ifndef TAMBELO_SCORE_TABLE_H
#define TAMBELO_SCORE_TABLE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The bytes the page table at the start of a file takes, given its first
 * two bytes; 0 when they cannot start a score archive's table. At most
 * TAMBELO_SCORE_TABLE_MOST_BYTES. */
size_t tambelo_score_table_bytes(const uint8_t first_two[2]);

#define TAMBELO_SCORE_TABLE_MOST_BYTES (16 * 256)

/* The number of tracks the table in `head` (at least the table's bytes of
 * the file's start) names, or 0 when it is not a score archive's table.
 * `file_bytes` is the file's size, 0 when unknown. */
unsigned tambelo_score_table_tracks(const uint8_t* head, size_t head_bytes, uint64_t file_bytes);

#ifdef __cplusplus
}
#endif

#endif
