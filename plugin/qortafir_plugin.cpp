// qortafir.auf: the bass level corrector with the FIR corrector as an audio
// filter plug-in. The kernel is built when the host starts saving and the
// full correction runs while it saves, with context drawn from the
// neighbouring frames; during preview only gain and fades are applied.
#include <cstdlib>

#include "plugin/fir_filter.h"
#include "plugin/filter_table.h"
#include "plugin/plugin_export.h"

namespace {

// One state per loaded plug-in, touched only from the host's callbacks, one
// call at a time.
plugin::FirState firState;

std::int32_t processCallback(FilterTable* filter, FrameAudioRecord* frame) {
    if (filter != nullptr && frame != nullptr) plugin::processFirFrame(firState, *filter, *frame);
    return 1;
}

// Both the exit and the save-end callback free the kernel and buffers.
std::int32_t exitCallback(FilterTable*) {
    plugin::releaseFirState(firState);
    return 1;
}

std::int32_t saveStartCallback(FilterTable* filter, std::int32_t, std::int32_t, void* editHandle) {
    if (filter != nullptr) plugin::startFirSave(firState, *filter, editHandle, std::malloc);
    return 1;
}

std::int32_t saveEndCallback(FilterTable*, void*) {
    plugin::releaseFirState(firState);
    return 1;
}

const char* const TRACK_NAMES[plugin::FIR_TRACK_COUNT] = {"Quality", "Effect", "Gain", "FadeIn", "FadeOut"};
const std::int32_t TRACK_DEFAULTS[plugin::FIR_TRACK_COUNT] = {100, 100, 100, 0, 0};

// "PC-QORTA/PCI", the four kanji for bass enhancement, " FIR-0.01 by ", and
// the author's name in katakana, in Shift-JIS.
const char INFORMATION_TEXT[] =
    "PC-QORTA/PCI"
    "\x92\xe1\x89\xb9\x91\x9d\x8b\xad"
    " FIR-0.01 by "
    "\x83\x4a\x83\x8b\x83\x68\x83\x8b";
static_assert(sizeof INFORMATION_TEXT == 42, "41 bytes of text and the NUL");

// Written by nobody in this library; not const because a host may write
// into the table it was given.
FilterTable filterTable = plugin::makeFilterTable({"QORTA-Bass(FIR)", plugin::FIR_TRACK_COUNT, TRACK_NAMES,
                                                   TRACK_DEFAULTS, INFORMATION_TEXT, processCallback,
                                                   exitCallback, saveStartCallback, saveEndCallback});

}  // namespace

extern "C" FilterTable* GetFilterTable(void) { return &filterTable; }
