// Fuzz target: one whole qorta file run on arbitrary bytes, read through
// libsndfile's virtual I/O from memory and written to memory. The last
// byte chooses the corrector and whether --peak runs. A run that succeeds
// must leave an output that libsndfile reads back with the input's rate,
// channels and frame count.
#include <sndfile.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/check.h"
#include "qorta/file_job.h"
#include "qorta/correct_file.h"
#include "qorta/input_file.h"

namespace {

// A file in memory: read-only over the fuzzer's bytes, or growing.
struct MemoryFile {
    const std::uint8_t* data = nullptr;
    std::vector<std::uint8_t>* grown = nullptr;
    sf_count_t size = 0;
    sf_count_t position = 0;
};

sf_count_t length(void* c) { return static_cast<MemoryFile*>(c)->size; }

sf_count_t seek(sf_count_t offset, int whence, void* c) {
    auto* m = static_cast<MemoryFile*>(c);
    const sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m->position : m->size;
    if (base + offset < 0) return -1;
    m->position = base + offset;
    return m->position;
}

sf_count_t readBytes(void* buffer, sf_count_t count, void* c) {
    auto* m = static_cast<MemoryFile*>(c);
    const std::uint8_t* bytes = m->grown != nullptr ? m->grown->data() : m->data;
    const sf_count_t n = std::max<sf_count_t>(0, std::min(count, m->size - m->position));
    if (n > 0) std::memcpy(buffer, bytes + m->position, static_cast<std::size_t>(n));
    m->position += n;
    return n;
}

sf_count_t writeBytes(const void* buffer, sf_count_t count, void* c) {
    auto* m = static_cast<MemoryFile*>(c);
    if (m->grown == nullptr) return 0;
    if (m->position + count > static_cast<sf_count_t>(m->grown->size()))
        m->grown->resize(static_cast<std::size_t>(m->position + count));
    std::memcpy(m->grown->data() + m->position, buffer, static_cast<std::size_t>(count));
    m->position += count;
    m->size = std::max(m->size, m->position);
    return count;
}

sf_count_t tell(void* c) { return static_cast<MemoryFile*>(c)->position; }

SF_VIRTUAL_IO io = {length, seek, readBytes, writeBytes, tell};

long long readAt(void* c, long long offset, unsigned char* buffer, long long count) {
    const auto* m = static_cast<const MemoryFile*>(c);
    const long long n = std::max<long long>(0, std::min<long long>(count, m->size - offset));
    if (n > 0) std::memcpy(buffer, m->data + offset, static_cast<std::size_t>(n));
    return n;
}

struct Output {
    MemoryFile file;
    SF_INFO info = {};
    SNDFILE* handle = nullptr;
};

SNDFILE* openOutput(void* c, std::string* error) {
    auto* out = static_cast<Output*>(c);
    out->handle = sf_open_virtual(&io, SFM_WRITE, &out->info, &out->file);
    if (out->handle == nullptr) *error = sf_strerror(nullptr);
    return out->handle;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    qorta::Settings settings;
    const std::uint8_t choice = data[size - 1];
    settings.corrector = (choice & 1) != 0 ? qorta::CorrectorKind::Iir : qorta::CorrectorKind::Fir;
    settings.peakSet = (choice & 2) != 0;
    settings.peakDb = -1.0;
    settings.fadeIn = (choice & 4) != 0 ? 5 : 0;
    settings.quality = (choice & 8) != 0 ? 300 : 100;
    MemoryFile input;
    input.data = data;
    input.size = static_cast<sf_count_t>(size);
    SF_INFO info = {};
    SNDFILE* in = sf_open_virtual(&io, SFM_READ, &info, &input);
    if (in == nullptr) return 0;
    // Headers may promise more frames than the bytes hold; the run finds
    // that out, but a promise of billions only costs the fuzzer time.
    if (info.frames > (1 << 22)) {
        sf_close(in);
        return 0;
    }
    qorta::InputExtras extras;
    const std::string riff = qorta::checkRiff({readAt, &input}, input.size, info.frames, &extras);
    std::vector<std::uint8_t> written;
    Output out;
    out.file.grown = &written;
    out.info = info;
    out.info.format = qorta::outputFormatFor(info.format, 0, info.frames, info.channels);
    out.info.frames = 0;
    qorta::FileStats stats;
    std::string problem = riff;
    if (problem.empty())
        problem = qorta::correctFile(in, info, extras, out.info.format, settings, {openOutput, &out}, &stats, nullptr);
    sf_close(in);
    if (out.handle != nullptr) sf_close(out.handle);
    if (!problem.empty()) return 0;
    fuzz::check(out.handle != nullptr, "a successful run opened its output");
    MemoryFile back;
    back.grown = &written;
    back.size = static_cast<sf_count_t>(written.size());
    SF_INFO readInfo = {};
    SNDFILE* check = sf_open_virtual(&io, SFM_READ, &readInfo, &back);
    fuzz::check(check != nullptr, "the output is a file libsndfile reads");
    fuzz::check(readInfo.channels == info.channels && readInfo.samplerate == info.samplerate,
                "the output keeps the input's channels and rate");
    fuzz::check(readInfo.frames == info.frames || (readInfo.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_OGG,
                "the output has the input's frames");
    fuzz::check(stats.clipped >= 0 && stats.peakOut >= 0.0, "the statistics are counts and levels");
    sf_close(check);
    return 0;
}
