/* The most the plugins read of a music set's file. */
#ifndef TAMBELO_INPUT_LIMIT_H
#define TAMBELO_INPUT_LIMIT_H

/* A page archive's 16-bit page numbers address 16 MiB of 256-byte pages at
 * most, and no title list comes near that: a larger file is refused before
 * it is read, rather than held whole in memory. */
#define TAMBELO_SET_FILE_MOST_BYTES (16u * 1024u * 1024u)
#define TAMBELO_SET_FILE_LIMIT_TEXT "16 MiB"

#endif
