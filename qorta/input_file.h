// Opening an input file with libsndfile, with the checks libsndfile does
// not make: an empty file, and a WAV data chunk that claims more bytes than
// the file holds (libsndfile would quietly shorten it). For WAV files the
// samples of a partial frame at the end of the data chunk are read too,
// since the DC offset counts them as the console programs do.
#ifndef QORTA_QORTA_INPUT_FILE_H
#define QORTA_QORTA_INPUT_FILE_H

#include <sndfile.h>

#include <memory>
#include <string>

#include "qorta/correct_file.h"

namespace qorta {

// A WAV file that libsndfile refuses but the console programs accept (a
// fmt chunk of 14 bytes, a chunk of odd size without its pad byte): its
// samples are offered to libsndfile behind a plain 44-byte header.
struct RepairedWav;
void closeRepaired(RepairedWav* wav);
struct RepairedClose {
    void operator()(RepairedWav* wav) const { closeRepaired(wav); }
};

struct InputFile {
    SNDFILE* file = nullptr;
    SF_INFO info = {};
    InputExtras extras;
    std::unique_ptr<RepairedWav, RepairedClose> repaired;

    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile() {
        if (file != nullptr) sf_close(file);
    }
};

// Opens `path` for reading. Returns "" or what is wrong with it.
std::string openInput(const std::string& path, InputFile* input);

// The checks of a RIFF WAVE (or RF64) file's chunk list, from its first
// `size` bytes read by `read` (offset, buffer, count) -> bytes read.
// Returns "" when the file is not RIFF WAVE or its data chunk fits, else
// what is wrong; fills `*extras` with a partial frame's samples when
// `frames` (libsndfile's count) matches the data chunk.
struct ByteReader {
    long long (*read)(void* context, long long offset, unsigned char* buffer, long long count);
    void* context;
};
std::string checkRiff(const ByteReader& reader, long long size, long long frames, InputExtras* extras);

}  // namespace qorta

#endif
