#include "qorta/input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>

#include "console/wav_container.h"

namespace qorta {

namespace {

std::uint32_t le32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint16_t le16(const unsigned char* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint64_t le64(const unsigned char* p) {
    return static_cast<std::uint64_t>(le32(p)) | static_cast<std::uint64_t>(le32(p + 4)) << 32;
}

long long readAt(void* context, long long offset, unsigned char* buffer, long long count) {
    const int fd = *static_cast<int*>(context);
    long long done = 0;
    while (done < count) {
        const ssize_t got = pread(fd, buffer + done, static_cast<std::size_t>(count - done), offset + done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += got;
    }
    return done;
}

// The console's header reader over a file descriptor.
bool readForHeader(void* context, void* buffer, std::uint32_t count, std::uint32_t* delivered) {
    const int fd = *static_cast<int*>(context);
    std::uint32_t done = 0;
    while (done < count) {
        const ssize_t got = read(fd, static_cast<unsigned char*>(buffer) + done, count - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        done += static_cast<std::uint32_t>(got);
    }
    *delivered = done;
    return true;
}

std::int64_t seekForHeader(void* context, std::int64_t distance, platform::SeekOrigin origin) {
    const int fd = *static_cast<int*>(context);
    const int whence = origin == platform::SeekOrigin::Begin ? SEEK_SET : origin == platform::SeekOrigin::Current ? SEEK_CUR : SEEK_END;
    return lseek(fd, distance, whence);
}

void put32(unsigned char* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}
void put16(unsigned char* p, std::uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

}  // namespace

struct RepairedWav {
    int fd = -1;
    unsigned char header[44];
    long long dataStart = 0;  // in the real file
    long long dataSize = 0;
    long long position = 0;   // in the repaired file
    long long size() const { return 44 + dataSize; }
};

void closeRepaired(RepairedWav* wav) {
    if (wav->fd >= 0) close(wav->fd);
    delete wav;
}

namespace {

sf_count_t repairedLength(void* context) { return static_cast<RepairedWav*>(context)->size(); }

sf_count_t repairedSeek(sf_count_t offset, int whence, void* context) {
    auto* w = static_cast<RepairedWav*>(context);
    const long long base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? w->position : w->size();
    if (base + offset < 0) return -1;
    w->position = base + offset;
    return w->position;
}

long long repairedReadAt(void* context, long long offset, unsigned char* buffer, long long count) {
    auto* w = static_cast<RepairedWav*>(context);
    long long done = 0;
    while (done < count && offset + done < w->size()) {
        const long long at = offset + done;
        if (at < 44) {
            const long long n = std::min(count - done, 44 - at);
            std::memcpy(buffer + done, w->header + at, static_cast<std::size_t>(n));
            done += n;
            continue;
        }
        const long long n = std::min(count - done, w->size() - at);
        int fd = w->fd;
        const long long got = readAt(&fd, w->dataStart + at - 44, buffer + done, n);
        done += got;
        if (got < n) break;
    }
    return done;
}

sf_count_t repairedRead(void* buffer, sf_count_t count, void* context) {
    auto* w = static_cast<RepairedWav*>(context);
    const long long got = repairedReadAt(w, w->position, static_cast<unsigned char*>(buffer), count);
    w->position += got;
    return got;
}

sf_count_t repairedWrite(const void*, sf_count_t, void*) { return 0; }
sf_count_t repairedTell(void* context) { return static_cast<RepairedWav*>(context)->position; }

// Offers a WAV file that libsndfile refused to it again behind a plain
// header, when the console programs' header reader accepts it as 8- or
// 16-bit PCM. Returns "" when that worked, else the problem to report.
std::string openRepaired(int fd, long long fileSize, InputFile* input, const std::string& refusal) {
    console::WavFormat format;
    std::uint32_t dataSize = 0;
    int descriptor = fd;
    lseek(fd, 0, SEEK_SET);
    const console::ByteSource source = {readForHeader, seekForHeader, &descriptor};
    if (console::readWavHeader(source, &format, &dataSize) != console::FileResult::Ok ||
        (format.bitsPerSample != 8 && format.bitsPerSample != 16) || format.channels == 0)
        return refusal;
    const long long dataStart = lseek(fd, 0, SEEK_CUR);
    if (dataStart < 0) return refusal;
    if (dataStart + static_cast<long long>(dataSize) > fileSize)
        return "the data chunk claims " + std::to_string(dataSize) + " bytes, but only " +
               std::to_string(fileSize - dataStart) + " follow it: the file is cut short";
    std::unique_ptr<RepairedWav, RepairedClose> wav(new RepairedWav);
    wav->fd = dup(fd);
    wav->dataStart = dataStart;
    wav->dataSize = dataSize;
    unsigned char* h = wav->header;
    const std::uint16_t blockAlign = static_cast<std::uint16_t>(format.channels * (format.bitsPerSample / 8));
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, 36 + dataSize);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, 1);
    put16(h + 22, format.channels);
    put32(h + 24, format.sampleRate);
    put32(h + 28, format.sampleRate * blockAlign);
    put16(h + 32, blockAlign);
    put16(h + 34, format.bitsPerSample);
    std::memcpy(h + 36, "data", 4);
    put32(h + 40, dataSize);
    static SF_VIRTUAL_IO io = {repairedLength, repairedSeek, repairedRead, repairedWrite, repairedTell};
    input->file = sf_open_virtual(&io, SFM_READ, &input->info, wav.get());
    if (input->file == nullptr) return refusal;
    std::string problem = checkRiff({repairedReadAt, wav.get()}, wav->size(), input->info.frames, &input->extras);
    input->repaired = std::move(wav);
    return problem;
}

}  // namespace

std::string checkRiff(const ByteReader& reader, long long size, long long frames, InputExtras* extras) {
    unsigned char head[12];
    if (size < 12 || reader.read(reader.context, 0, head, 12) != 12) return "";
    const bool riff = std::memcmp(head, "RIFF", 4) == 0, rf64 = std::memcmp(head, "RF64", 4) == 0;
    if ((!riff && !rf64) || std::memcmp(head + 8, "WAVE", 4) != 0) return "";
    std::uint64_t ds64Data = 0;
    int channels = 0, bits = 0, blockAlign = 0, tag = 0;
    long long position = 12;
    while (position + 8 <= size) {
        unsigned char chunk[8];
        if (reader.read(reader.context, position, chunk, 8) != 8) return "";
        const std::uint32_t length = le32(chunk + 4);
        const long long body = position + 8;
        if (std::memcmp(chunk, "ds64", 4) == 0 && length >= 24) {
            unsigned char d[24];
            if (reader.read(reader.context, body, d, 24) == 24) ds64Data = le64(d + 8);
        } else if (std::memcmp(chunk, "fmt ", 4) == 0 && length >= 16) {
            unsigned char f[26] = {};
            const long long want = length >= 26 ? 26 : 16;
            if (reader.read(reader.context, body, f, want) != want) return "";
            tag = le16(f);
            channels = le16(f + 2);
            blockAlign = le16(f + 12);
            bits = le16(f + 14);
            if (tag == 0xFFFE && want == 26) tag = le16(f + 24);
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            std::uint64_t dataSize = length;
            if (rf64 && length == 0xFFFFFFFFu) dataSize = ds64Data;
            // Sizes of 0 and 0xFFFFFFFF are what writers leave when they
            // cannot go back to fill the size in; libsndfile then takes the
            // rest of the file, and so does qorta.
            if (length != 0 && length != 0xFFFFFFFFu && static_cast<long long>(dataSize) > size - body)
                return "the data chunk claims " + std::to_string(dataSize) + " bytes, but only " +
                       std::to_string(size - body) + " follow it: the file is cut short";
            if (rf64 && static_cast<long long>(dataSize) > size - body)
                return "the data chunk claims " + std::to_string(dataSize) + " bytes, but only " +
                       std::to_string(size - body) + " follow it: the file is cut short";
            const int sampleBytes = bits / 8;
            if (tag == 1 && channels > 0 && sampleBytes >= 1 && sampleBytes <= 4 && bits % 8 == 0 &&
                blockAlign == channels * sampleBytes && length != 0xFFFFFFFFu && length != 0) {
                const long long whole = static_cast<long long>(dataSize / blockAlign);
                const int rest = static_cast<int>(dataSize % blockAlign);
                if (whole == frames && rest >= sampleBytes) {
                    unsigned char tail[64];
                    const long long at = body + whole * blockAlign;
                    if (reader.read(reader.context, at, tail, rest) == rest)
                        for (int i = 0; i + sampleBytes <= rest; i += sampleBytes) {
                            std::int64_t v = 0;
                            if (sampleBytes == 1) v = tail[i];  // unsigned, as the DC sums count it
                            else if (sampleBytes == 2) v = static_cast<std::int16_t>(le16(tail + i));
                            else if (sampleBytes == 3)
                                v = static_cast<std::int32_t>((tail[i] | tail[i + 1] << 8 | tail[i + 2] << 16) << 8) >> 8;
                            else v = static_cast<std::int32_t>(le32(tail + i));
                            extras->partialFrame.push_back(v);
                        }
                }
            }
            return "";
        }
        position = body + length + (length & 1);
    }
    return "";
}

std::string openInput(const std::string& path, InputFile* input) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::string("cannot open: ") + std::strerror(errno);
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return S_ISDIR(st.st_mode) ? "is a folder (use -r or name it alone)" : "not a regular file";
    }
    if (st.st_size == 0) {
        close(fd);
        return "the file is empty";
    }
    input->file = sf_open(path.c_str(), SFM_READ, &input->info);
    if (input->file == nullptr) {
        const std::string refusal = std::string("not an audio file that libsndfile reads: ") + sf_strerror(nullptr);
        const std::string problem = openRepaired(fd, static_cast<long long>(st.st_size), input, refusal);
        close(fd);
        return problem;
    }
    int descriptor = fd;
    const std::string problem =
        checkRiff({readAt, &descriptor}, static_cast<long long>(st.st_size), input->info.frames, &input->extras);
    close(fd);
    return problem;
}

}  // namespace qorta
