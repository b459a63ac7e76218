/* Enlarges a small synthetic gray image and a colour one three times with
 * the C interface, shows the caption, and shows how failures come back: a
 * formula out of range, a stride shorter than a row, a cancel from the
 * progress callback. Then the colour image again at the best quality for
 * photographs. Exits with 0 when every call answered as expected.
 *
 *   cc capi_example.c $(pkg-config --cflags --libs fractal_interpolation) */
#include <fractal_interpolation.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { Width = 40, Height = 30, Scale = 3 };

static int failures = 0;

static void expect(int condition, const char* what) {
    if (!condition) {
        fprintf(stderr, "unexpected: %s\n", what);
        ++failures;
    }
}

/* Counts the reports; answers 0 (cancel) at report cancel_at when that is
 * positive. */
struct progress {
    int calls;
    int cancel_at;
    int last_percent;
};

static int on_progress(int percent, void* user_data) {
    struct progress* p = (struct progress*)user_data;
    ++p->calls;
    p->last_percent = percent;
    return p->cancel_at <= 0 || p->calls < p->cancel_at;
}

int main(void) {
    static uint8_t gray[Height][Width], colour[Height][Width * 3];
    static uint8_t big_gray[Height * Scale][Width * Scale], big_colour[Height * Scale][Width * Scale * 3];
    struct progress progress = {0, 0, -1};
    fi_settings* settings = NULL;
    fi_values values;
    char caption[256];
    int x, y;

    for (y = 0; y < Height; ++y)
        for (x = 0; x < Width; ++x) {
            gray[y][x] = (uint8_t)((x * 7 + y * 3) % 256);
            colour[y][3 * x] = (uint8_t)(x * 6);
            colour[y][3 * x + 1] = (uint8_t)(y * 8);
            colour[y][3 * x + 2] = (uint8_t)((x ^ y) * 4);
        }

    if (fi_settings_new(&settings) != FI_OK) return 1;
    expect(fi_set_setup_by_name(settings, "Fractal 9-square") == FI_OK, "setup by name");
    expect(fi_set_scale(settings, Scale) == FI_OK, "scale 3");
    expect(fi_set_text(settings, FI_FIELD_REGULARIZATION, "2^-10") == FI_OK, "a formula");
    expect(fi_get_values(settings, &values) == FI_OK && values.regularization == 1.0 / 1024, "the formula's value");

    /* Refused values leave the settings as they were and say why. */
    expect(fi_set_text(settings, FI_FIELD_FILTER_STRENGTH, "200") == FI_INVALID_ARGUMENT, "filter 200 refused");
    printf("refused: %s\n", fi_message(settings));
    expect(fi_set_setup(settings, 9) == FI_INVALID_ARGUMENT, "setup 9 refused");
    printf("refused: %s\n", fi_message(settings));

    fi_set_progress(settings, on_progress, &progress);
    expect(fi_enlarge_bytes(settings, &gray[0][0], Width, Height, 1, Width, &big_gray[0][0], Width * Scale) == FI_OK,
           "gray enlargement");
    expect(progress.calls > 0 && progress.last_percent == 100, "progress up to 100");
    expect(fi_enlarge_bytes(settings, &colour[0][0], Width, Height, 3, Width * 3, &big_colour[0][0],
                            Width * Scale * 3) == FI_OK,
           "colour enlargement");
    expect(fi_caption(settings, "sample", caption, sizeof caption, NULL) == FI_OK, "caption");
    printf("caption: %s\n", caption);

    /* A row of 40 colour pixels needs 120 bytes. */
    expect(fi_enlarge_bytes(settings, &colour[0][0], Width, Height, 3, Width, &big_colour[0][0], Width * Scale * 3) ==
               FI_INVALID_ARGUMENT,
           "a bad stride refused");
    printf("refused: %s\n", fi_message(settings));

    progress.calls = 0;
    progress.cancel_at = 2;
    expect(fi_enlarge_bytes(settings, &gray[0][0], Width, Height, 1, Width, &big_gray[0][0], Width * Scale) ==
               FI_CANCELLED,
           "cancel from the callback");
    printf("cancelled: %s\n", fi_message(settings));

    /* The best quality: its own parameters, the scale kept; a setup would
     * turn it off again. */
    progress.cancel_at = 0;
    expect(fi_set_best_quality(settings, 1) == FI_OK && fi_get_best_quality(settings) == 1, "best quality on");
    expect(fi_get_values(settings, &values) == FI_OK && values.scale == Scale && values.training_region == 13,
           "the best quality's fields");
    expect(fi_enlarge_bytes(settings, &colour[0][0], Width, Height, 3, Width * 3, &big_colour[0][0],
                            Width * Scale * 3) == FI_OK,
           "best-quality colour enlargement");
    expect(progress.last_percent == 100, "best-quality progress up to 100");
    expect(fi_caption(settings, "sample", caption, sizeof caption, NULL) == FI_OK, "best-quality caption");
    printf("caption: %s\n", caption);

    fi_settings_free(settings);
    if (failures == 0) printf("all as expected\n");
    return failures == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
