/* The records that an audio filter plug-in and its host editor exchange:
 * the filter table the plug-in hands out, the host's service table, the
 * file information the host fills in, and the host's record of one video
 * frame's audio.
 *
 * Plain C, usable from C and C++. Integers are 32 bits wide and pointers are
 * the platform's own, so on a 32-bit target every record is a sequence of
 * 32-bit slots at the offsets the host expects; the offsets are checked at
 * compile time there. On a 64-bit target the same declarations give the
 * natural wider layout, which host and plug-in share when both are built
 * for it.
 */
#ifndef QORTA_PLUGIN_FILTER_RECORDS_H
#define QORTA_PLUGIN_FILTER_RECORDS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct FilterTable FilterTable;

/* The edit's file information; the plug-in provides it, the host fills it. */
typedef struct FileInfoRecord {
    int32_t hostFields[6];      /* bytes 0 to 23: host data, not read */
    int32_t samplingRate;       /* audio samples per second per channel */
    int32_t moreHostFields[9];  /* bytes 28 to 63: host data, not read */
} FileInfoRecord;

/* One video frame's audio, handed to the processing callback. The plug-in
 * reads the named fields and writes nothing but the samples at `audio`. */
typedef struct FrameAudioRecord {
    int32_t hostFields[7];      /* bytes 0 to 27: host data, not read */
    int32_t frame;              /* number of this video frame, 0 for the first */
    int32_t frameCount;         /* video frames in the edit */
    int32_t moreHostFields[2];  /* host data, not read */
    int16_t* audio;             /* sampleCount x channelCount samples, interleaved */
    int32_t sampleCount;        /* samples per channel in this frame */
    int32_t channelCount;       /* interleaved channels */
    int32_t lastHostField;      /* host data, not read */
    void* editHandle;           /* opaque; passed back to the host services */
} FrameAudioRecord;

/* Writes the interleaved 16-bit samples of video frame `frame` of the edit
 * into `buffer` and returns the samples per channel written; 0 or less when
 * the frame has no audio. */
typedef int32_t (*ReadFrameAudioService)(void* editHandle, int32_t frame, int16_t* buffer);

/* Fills `info` with the edit's file information. Returns 0 on failure (the
 * record is then not to be used), nonzero on success. */
typedef int32_t (*QueryFileInfoService)(void* editHandle, FileInfoRecord* info);

/* An entry of the service table that the plug-ins never call. */
typedef void (*HostServiceEntry)(void);

/* The host's table of services; its address reaches the callbacks in the
 * `hostServices` slot of the filter record. */
typedef struct HostServices {
    HostServiceEntry entries0To2[3];
    ReadFrameAudioService readFrameAudio;  /* entry 3 */
    HostServiceEntry entries4To22[19];
    QueryFileInfoService queryFileInfo;    /* entry 23 */
} HostServices;

/* Callbacks; every one returns 1. The processing callback rewrites the
 * frame's samples in place. The save-start callback receives two values of
 * the host that the plug-ins do not read, and the edit being saved. */
typedef int32_t (*ProcessCallback)(FilterTable* filter, FrameAudioRecord* frame);
typedef int32_t (*ExitCallback)(FilterTable* filter);
typedef int32_t (*SaveStartCallback)(FilterTable* filter, int32_t hostValue1, int32_t hostValue2,
                                     void* editHandle);
typedef int32_t (*SaveEndCallback)(FilterTable* filter, void* editHandle);

/* The filter table: 35 slots. A plug-in's static instance holds its name,
 * track bars, information text and callbacks; the record handed to a
 * callback has the same layout with `trackValues` and `hostServices` set by
 * the host. Unnamed slots are 0. */
struct FilterTable {
    int32_t flags;
    int32_t slots1To2[2];
    const char* name;                   /* NUL-terminated ASCII display name */
    int32_t trackCount;
    const char* const* trackNames;      /* trackCount NUL-terminated names */
    const int32_t* trackDefaults;       /* trackCount default values */
    const int32_t* trackLowerBounds;    /* none: the host's default range */
    const int32_t* trackUpperBounds;    /* none: the host's default range */
    int32_t slots9To11[3];
    ProcessCallback processCallback;
    int32_t slot13;
    ExitCallback exitCallback;
    int32_t slots15To16[2];
    int32_t* trackValues;               /* host's current track values */
    int32_t slots18To20[3];
    const char* informationText;        /* NUL-terminated Shift-JIS text */
    SaveStartCallback saveStartCallback;
    SaveEndCallback saveEndCallback;
    const HostServices* hostServices;   /* host's service table */
    int32_t slots25To34[10];
};

/* The plug-in library's only export: the address of its static filter
 * table, the same on every call. */
typedef FilterTable* (*GetFilterTableFunction)(void);

#ifdef __cplusplus
}
#endif

#ifdef __cplusplus
#define QORTA_LAYOUT_ASSERT(condition) static_assert(condition, #condition)
#else
#define QORTA_LAYOUT_ASSERT(condition) _Static_assert(condition, #condition)
#endif

/* The file information record is all integers: 64 bytes on every target. */
QORTA_LAYOUT_ASSERT(sizeof(FileInfoRecord) == 64);
QORTA_LAYOUT_ASSERT(offsetof(FileInfoRecord, samplingRate) == 24);

/* With 32-bit pointers every slot is 4 bytes wide, at the host's offsets. */
#if UINTPTR_MAX == 0xFFFFFFFFu
QORTA_LAYOUT_ASSERT(sizeof(FilterTable) == 140);
QORTA_LAYOUT_ASSERT(offsetof(FilterTable, flags) == 0);
QORTA_LAYOUT_ASSERT(offsetof(FilterTable, name) == 12);
QORTA_LAYOUT_ASSERT(offsetof(FilterTable, trackCount) == 16);
QORTA_LAYOUT_ASSERT(offsetof(FilterTable, trackNames) == 20);
QORTA_LAYOUT_ASSERT(offsetof(FilterTable, trackDefaults) == 24);
QORTA_LAYOUT_ASSERT(offsetof(FilterTable, trackLowerBounds) == 28);
QORTA_LAYOUT_ASSERT(offsetof(FilterTable, trackUpperBounds) == 32);
QORTA_LAYOUT_ASSERT(offsetof(FilterTable, processCallback) == 48);
QORTA_LAYOUT_ASSERT(offsetof(FilterTable, exitCallback) == 56);
QORTA_LAYOUT_ASSERT(offsetof(FilterTable, trackValues) == 68);
QORTA_LAYOUT_ASSERT(offsetof(FilterTable, informationText) == 84);
QORTA_LAYOUT_ASSERT(offsetof(FilterTable, saveStartCallback) == 88);
QORTA_LAYOUT_ASSERT(offsetof(FilterTable, saveEndCallback) == 92);
QORTA_LAYOUT_ASSERT(offsetof(FilterTable, hostServices) == 96);
QORTA_LAYOUT_ASSERT(offsetof(FilterTable, slots25To34) == 100);
QORTA_LAYOUT_ASSERT(offsetof(HostServices, readFrameAudio) == 12);
QORTA_LAYOUT_ASSERT(offsetof(HostServices, queryFileInfo) == 92);
QORTA_LAYOUT_ASSERT(offsetof(FrameAudioRecord, frame) == 28);
QORTA_LAYOUT_ASSERT(offsetof(FrameAudioRecord, frameCount) == 32);
QORTA_LAYOUT_ASSERT(offsetof(FrameAudioRecord, audio) == 44);
QORTA_LAYOUT_ASSERT(offsetof(FrameAudioRecord, sampleCount) == 48);
QORTA_LAYOUT_ASSERT(offsetof(FrameAudioRecord, channelCount) == 52);
QORTA_LAYOUT_ASSERT(offsetof(FrameAudioRecord, editHandle) == 60);
QORTA_LAYOUT_ASSERT(sizeof(FrameAudioRecord) == 64);
#endif
#undef QORTA_LAYOUT_ASSERT

#endif
