/* Fractal interpolation: image enlargement by an integer factor with
 * per-pixel Wiener filters trained on the image itself.
 *
 * A settings object holds what the plug-in's parameter dialog holds: one of
 * the setups (fi_setup_count, fi_setup_name), the scale where the setup
 * takes one, and the fine-tuning.
 * Choosing a setup resets every other setting to the setup's values and so
 * does a new scale; set the setup first, then the scale, then the rest.
 * Instead of a setup, an object may take the best quality measured on
 * photographs (fi_set_best_quality), a way of its own with its own
 * parameters in the same fields.
 *
 * Every function returns a status; on failure the settings object keeps a
 * message for it (fi_message). Nothing is thrown, and the caller's
 * floating-point state (rounding, exception masks, flags) comes back as it
 * was. Separate settings objects may be used on separate threads at once;
 * one object is used by one thread at a time. */
#ifndef FRACTAL_INTERPOLATION_H
#define FRACTAL_INTERPOLATION_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__)
#define FI_API __attribute__((visibility("default")))
#else
#define FI_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define FI_VERSION_MAJOR 1
#define FI_VERSION_MINOR 1

typedef enum fi_status {
    FI_OK = 0,
    FI_INVALID_ARGUMENT = 1, /* a null pointer, a bad size or stride, a value out of range */
    FI_CANCELLED = 2,        /* the progress callback answered 0 */
    FI_OUT_OF_MEMORY = 3,
    FI_FAILED = 4,           /* any other failure of the enlargement */
    FI_UNSUPPORTED_IMAGE = 5 /* a pixel layout the bitmap path does not take */
} fi_status;

/* The largest result of any enlargement, in pixels (width times height
 * after the scale); every plane the engine makes is at most this large.
 * A larger result is FI_INVALID_ARGUMENT, refused before any work. */
#define FI_MAX_RESULT_PIXELS 250000000

/* The numeric fields that fi_set_text accepts formulas for. */
typedef enum fi_field {
    FI_FIELD_SCALE = 0,           /* whole number 2 .. 16, setups 2 to 4 only */
    FI_FIELD_TRAINING_REGION = 1, /* whole number 1 .. 100 */
    FI_FIELD_REGULARIZATION = 2,  /* 0 .. 1 */
    FI_FIELD_FILTER_STRENGTH = 3  /* 0 .. 100 */
} fi_field;

/* Everything a settings object holds, as the dialog shows it. */
typedef struct fi_values {
    int setup;
    int scale;
    int training_region;
    double regularization;
    double filter_strength;
    int clamp_weights;
    int normalize_weights;
    int clamp_result;
} fi_values;

/* Called with a percentage 0 .. 100 on the thread that runs the enlargement;
 * answering 0 cancels it (the call then returns FI_CANCELLED). */
typedef int (*fi_progress_callback)(int percent, void* user_data);

typedef struct fi_settings fi_settings;

/* A short English text for a status; for FI_UNSUPPORTED_IMAGE the plug-in's
 * own note to the user. (Values from callers are taken as int, so that any
 * number is safe to pass.) */
FI_API const char* fi_status_text(int status);

/* The setups in the dialog's order; null outside 0 .. fi_setup_count() - 1. */
FI_API int fi_setup_count(void);
FI_API const char* fi_setup_name(int index);
/* Whether the setup takes its scale from the user (else the scale is fixed). */
FI_API int fi_setup_has_scale(int index);

/* A settings object with the dialog's first-run setting; free it with
 * fi_settings_free (null is ignored). */
FI_API fi_status fi_settings_new(fi_settings** settings);
FI_API void fi_settings_free(fi_settings* settings);

/* The message of the object's last failed call, "" after a success. Valid
 * until the next call with the object. */
FI_API const char* fi_message(const fi_settings* settings);

FI_API fi_status fi_get_values(fi_settings* settings, fi_values* values);

FI_API fi_status fi_set_setup(fi_settings* settings, int index);
/* A setup by its name as fi_setup_name gives it, or by its number as text. */
FI_API fi_status fi_set_setup_by_name(fi_settings* settings, const char* name);
FI_API fi_status fi_set_scale(fi_settings* settings, int scale);
FI_API fi_status fi_set_training_region(fi_settings* settings, int size);
FI_API fi_status fi_set_regularization(fi_settings* settings, double lambda);
FI_API fi_status fi_set_filter_strength(fi_settings* settings, double strength);
FI_API fi_status fi_set_clamp_weights(fi_settings* settings, int on);
FI_API fi_status fi_set_normalize_weights(fi_settings* settings, int on);
FI_API fi_status fi_set_clamp_result(fi_settings* settings, int on);
/* Text as typed into the dialog's field (an fi_field): a number or a formula
 * such as "2^-10" or "sqrt(2)", with the field's range. */
FI_API fi_status fi_set_text(fi_settings* settings, int field, const char* text);

/* The best quality for photographs (on is 1) or the setup's way (0). Turning
 * it on shows its parameters in the fields: the default setup ("Fractal
 * 9-square"), training region 13, regularization 0.03, filter strength 2
 * and the switches off; the scale stays. The scale, training region,
 * regularization and filter strength set afterwards apply to it, and a new
 * scale keeps the other three as they are. Choosing a setup or setting any
 * of the three switches turns it off again: those belong to the setups'
 * way. Turning it off keeps the fields, now for the setup's way. Its
 * parameters are measured for values on the scale of 8-bit samples, 0 ..
 * 255; planes of another range are best brought to it and back. Since 1.1. */
FI_API fi_status fi_set_best_quality(fi_settings* settings, int on);
/* 1 when the best quality is on, else 0 (null too). Since 1.1. */
FI_API int fi_get_best_quality(const fi_settings* settings);

/* The callback for the object's enlargements; null for none. */
FI_API fi_status fi_set_progress(fi_settings* settings, fi_progress_callback callback, void* user_data);

/* Enlarges an 8-bit image of width x height pixels with channels 1 (gray) or
 * 3 (red, green, blue; others are FI_UNSUPPORTED_IMAGE), rows source_stride
 * bytes apart, into result: width times scale by height times scale pixels
 * of the same channels, rows result_stride bytes apart. Colour goes through
 * the brightness and colour difference planes, as in the plug-in; with the
 * best quality, through planes of doubles rounded back to the nearest byte
 * (ties to even). */
FI_API fi_status fi_enlarge_bytes(fi_settings* settings, const uint8_t* source, int width, int height,
                                  int channels, ptrdiff_t source_stride, uint8_t* result, ptrdiff_t result_stride);

/* Enlarges one plane of doubles (strides counted in doubles) as given; for
 * the best quality, on the scale 0 .. 255. Every sample must be a finite
 * number: a plane with an infinity or a NaN is FI_INVALID_ARGUMENT, the
 * message giving their count and the first one's position. */
FI_API fi_status fi_enlarge_plane(fi_settings* settings, const double* source, int width, int height,
                                  ptrdiff_t source_stride, double* result, ptrdiff_t result_stride);

/* Enlarges count planes of doubles of one size: 1 (gray) or 3 (red, green,
 * blue), from sources[i] into results[i], every plane with the strides
 * given. The best quality takes the three together through their
 * brightness and colour differences; the setups' way enlarges them one by
 * one, as fi_enlarge_plane does. The progress covers all of them; the
 * samples must be finite, as for fi_enlarge_plane. Since 1.1. */
FI_API fi_status fi_enlarge_planes(fi_settings* settings, const double* const* sources, int count, int width,
                                   int height, ptrdiff_t source_stride, double* const* results,
                                   ptrdiff_t result_stride);

/* The caption of a result enlarged with these settings, for an image named
 * image_name, into buffer as a zero-terminated text cut to size bytes; the
 * length of the whole caption goes to *length when length is not null. */
FI_API fi_status fi_caption(fi_settings* settings, const char* image_name, char* buffer, size_t size,
                            size_t* length);

#ifdef __cplusplus
}
#endif

#endif
