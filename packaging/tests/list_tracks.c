/* A program built against the installed libtambelo-render-dev package, as
 * any other program would be (pkg-config --cflags --libs tambelo-render):
 * lists a set's tracks, one line each, as "NUMBER<TAB>LENGTH_MS<TAB>TITLE",
 * the length with two loops and an 8 s fade.
 *
 *   list_tracks PATH/amus.dat
 *
 * Exits 0 when the set opens and every track has its information, 1 with a
 * line on stderr when not. */

#include <tambelo/render.h>

#include <stdio.h>

int main(int argc, char** argv)
{
    tambelo_set* set = NULL;
    const char* error;
    int count;
    int number;

    if (argc != 2) {
        fprintf(stderr, "usage: list_tracks PATH/amus.dat\n");
        return 2;
    }
    error = tambelo_set_open_path(argv[1], &set);
    if (error) {
        fprintf(stderr, "list_tracks: %s\n", error);
        return 1;
    }
    count = tambelo_set_track_count(set);
    for (number = 1; number <= count; ++number) {
        tambelo_track_info info;
        error = tambelo_set_track_info(set, number, &info);
        if (error) {
            fprintf(stderr, "list_tracks: track %d: %s\n", number, error);
            tambelo_set_close(set);
            return 1;
        }
        printf("%d\t%.0f\t%s\n", info.number, tambelo_track_info_play_length_ms(&info, 2, 8000.0), info.title);
    }
    tambelo_set_close(set);
    return 0;
}
