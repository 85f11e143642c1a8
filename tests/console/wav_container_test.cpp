#include "console/wav_container.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "tests/support/wav_builder.h"

using namespace console;

namespace {

using testsupport::Bytes;
using testsupport::WavChunk;
using testsupport::WavLayout;

// Reads the header of `bytes` from memory.
struct HeaderRead {
    FileResult result = FileResult::Ok;
    WavFormat format;
    std::uint32_t dataSize = 0xDEADBEEF;  // unchanged on failure
    Bytes next;                           // the 4 bytes that follow the header, as far as present
};

HeaderRead readHeaderOf(const Bytes& bytes) {
    MemoryBytes memory = {bytes.data(), bytes.size(), 0};
    const ByteSource source = memorySource(&memory);
    HeaderRead read;
    read.result = readWavHeader(source, &read.format, &read.dataSize);
    read.next.resize(4);
    std::uint32_t delivered = 0;
    source.read(source.context, read.next.data(), 4, &delivered);
    read.next.resize(delivered);
    return read;
}

constexpr FileResult OK = FileResult::Ok;
constexpr FileResult ILLEGAL = FileResult::IllegalFormat;

WavLayout stereo16(const Bytes& data) {
    WavLayout l;
    l.data = data;
    return l;
}

TEST(ReadWavHeader, CanonicalHeaderDerivesBitsAndStopsAtTheFirstSample) {
    Bytes data = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    Bytes file = testsupport::buildWav(stereo16(data));
    ASSERT_EQ(44u, file.size() - data.size());
    HeaderRead r = readHeaderOf(file);
    ASSERT_EQ(OK, r.result);
    EXPECT_EQ(1, r.format.formatTag);
    EXPECT_EQ(2, r.format.channels);
    EXPECT_EQ(44100u, r.format.sampleRate);
    EXPECT_EQ(176400u, r.format.byteRate);
    EXPECT_EQ(4, r.format.blockAlign);
    EXPECT_EQ(16, r.format.bitsPerSample);
    EXPECT_EQ(2, r.format.extraSize);
    EXPECT_EQ(8u, r.dataSize);
    EXPECT_EQ((Bytes{0x11, 0x22, 0x33, 0x44}), r.next);
}

TEST(ReadWavHeader, ShortFmtChunkTakesBitsFromBlockAlignNotFromTheFile) {
    WavLayout l = stereo16({1, 2});
    l.channels = 1;
    l.blockAlign = 2;
    l.bitsPerSample = 12;  // stored, but not used for a 16-byte chunk
    HeaderRead r = readHeaderOf(testsupport::buildWav(l));
    ASSERT_EQ(OK, r.result);
    EXPECT_EQ(16, r.format.bitsPerSample);

    l.blockAlign = 3;
    l.channels = 2;
    r = readHeaderOf(testsupport::buildWav(l));
    ASSERT_EQ(OK, r.result);
    EXPECT_EQ(12, r.format.bitsPerSample);  // 3 x 8 / 2
}

TEST(ReadWavHeader, EighteenByteFmtChunkKeepsEveryStoredField) {
    WavLayout l = stereo16({9, 9, 9, 9});
    l.fmtBodySize = 18;
    l.blockAlign = 7;       // inconsistent on purpose
    l.byteRate = 12345;
    l.bitsPerSample = 8;
    HeaderRead r = readHeaderOf(testsupport::buildWav(l));
    ASSERT_EQ(OK, r.result);
    EXPECT_EQ(7, r.format.blockAlign);
    EXPECT_EQ(12345u, r.format.byteRate);
    EXPECT_EQ(8, r.format.bitsPerSample);
    EXPECT_EQ(0, r.format.extraSize);
    EXPECT_EQ(4u, r.dataSize);
    EXPECT_EQ((Bytes{9, 9, 9, 9}), r.next);
}

TEST(ReadWavHeader, EighteenByteFmtChunkReadsTheBytesItsCbSizeAnnounces) {
    // The chunk says 18 bytes, cbSize says 3 more follow: they are read and
    // dropped although the size field does not count them.
    WavLayout l = stereo16({5, 6});
    l.fmtBodySize = 18;
    l.cbSize = 3;
    Bytes file = testsupport::buildWav(l);
    Bytes extra = {0xAA, 0xBB, 0xCC};
    file.insert(file.begin() + 12 + 8 + 18, extra.begin(), extra.end());
    HeaderRead r = readHeaderOf(file);
    ASSERT_EQ(OK, r.result);
    EXPECT_EQ(3, r.format.extraSize);
    EXPECT_EQ((Bytes{5, 6}), r.next);
}

TEST(ReadWavHeader, FmtChunkSizesAtAndAroundTheLimits) {
    WavLayout l = stereo16({1, 2, 3, 4});
    l.fmtBodySize = 14;
    HeaderRead r = readHeaderOf(testsupport::buildWav(l));
    ASSERT_EQ(OK, r.result);
    EXPECT_EQ(0, r.format.extraSize);
    EXPECT_EQ(16, r.format.bitsPerSample);

    l.fmtBodySize = 13;
    EXPECT_EQ(ILLEGAL, readHeaderOf(testsupport::buildWav(l)).result);
    EXPECT_EQ(0xDEADBEEFu, readHeaderOf(testsupport::buildWav(l)).dataSize);

    l.fmtBodySize = 65549;  // the largest whose extra bytes fit 16 bits
    r = readHeaderOf(testsupport::buildWav(l));
    ASSERT_EQ(OK, r.result);
    EXPECT_EQ(65535, r.format.extraSize);
    EXPECT_EQ((Bytes{1, 2, 3, 4}), r.next);

    l.fmtBodySize = 65550;
    EXPECT_EQ(ILLEGAL, readHeaderOf(testsupport::buildWav(l)).result);
    l.fmtBodySize = 14 + 65536 + 4;  // would read as 4 extra bytes if kept in 16 bits
    EXPECT_EQ(ILLEGAL, readHeaderOf(testsupport::buildWav(l)).result);
}

TEST(ReadWavHeader, NonPcmFormatsAreRefused) {
    WavLayout extensible = stereo16({0, 0, 0, 0});
    extensible.formatTag = 0xFFFE;
    extensible.fmtBodySize = 40;
    extensible.cbSize = 22;
    EXPECT_EQ(ILLEGAL, readHeaderOf(testsupport::buildWav(extensible)).result);

    WavLayout floating = stereo16({0, 0, 0, 0});
    floating.formatTag = 3;
    floating.bitsPerSample = 32;
    EXPECT_EQ(ILLEGAL, readHeaderOf(testsupport::buildWav(floating)).result);
    floating.fmtBodySize = 18;
    EXPECT_EQ(ILLEGAL, readHeaderOf(testsupport::buildWav(floating)).result);
}

TEST(ReadWavHeader, NoDivisionByZeroChannels) {
    WavLayout l = stereo16({0, 0});
    l.channels = 0;
    l.blockAlign = 4;
    HeaderRead r = readHeaderOf(testsupport::buildWav(l));
    EXPECT_EQ(OK, r.result);
    EXPECT_EQ(0, r.format.channels);
    EXPECT_EQ(0, r.format.bitsPerSample);
}

TEST(ReadWavHeader, TheFmtChunkMustComeFirst) {
    WavLayout l = stereo16({0, 0, 0, 0});
    l.beforeFmt.push_back(testsupport::chunk("JUNK", Bytes(28, 0)));
    EXPECT_EQ(ILLEGAL, readHeaderOf(testsupport::buildWav(l)).result);
    l.beforeFmt = {testsupport::chunk("bext", Bytes(10, 1))};
    EXPECT_EQ(ILLEGAL, readHeaderOf(testsupport::buildWav(l)).result);
}

TEST(ReadWavHeader, ChunksBetweenFmtAndDataAreSkippedWhateverTheirContent) {
    WavLayout l = stereo16({7, 7, 8, 8});
    Bytes list;
    testsupport::appendText(list, "INFOICMT");
    testsupport::appendU32(list, 6);
    testsupport::appendText(list, "data!\0");
    l.afterFmt.push_back(testsupport::chunk("LIST", list));
    l.afterFmt.push_back(testsupport::chunk("fact", {0x10, 0, 0, 0}));
    l.afterFmt.push_back(testsupport::chunk("empt", {}));
    HeaderRead r = readHeaderOf(testsupport::buildWav(l));
    ASSERT_EQ(OK, r.result);
    EXPECT_EQ(4u, r.dataSize);
    EXPECT_EQ((Bytes{7, 7, 8, 8}), r.next);
}

TEST(ReadWavHeader, OddChunksAreReadWithOrWithoutTheirPadByte) {
    auto expectData = [](const WavLayout& l, const Bytes& first, const char* what) {
        HeaderRead r = readHeaderOf(testsupport::buildWav(l));
        ASSERT_EQ(OK, r.result) << what;
        EXPECT_EQ(l.data.size(), r.dataSize) << what;
        EXPECT_EQ(first, r.next) << what;
    };
    WavLayout l = stereo16({1, 1, 2, 2});
    l.afterFmt = {testsupport::chunk("odd ", {'x'}), testsupport::chunk("LIST", Bytes(13, 'y'))};
    expectData(l, {1, 1, 2, 2}, "no pad bytes");
    l.afterFmt[0].padOdd = l.afterFmt[1].padOdd = true;
    expectData(l, {1, 1, 2, 2}, "pad bytes");
    l.afterFmt[0].padOdd = false;
    expectData(l, {1, 1, 2, 2}, "one of each");

    // Behind an unpadded chunk the padded place reads "ata$": the size 36
    // is printable too. That guess finds no data chunk, the other one does.
    l = stereo16(Bytes(36, 7));
    l.afterFmt = {testsupport::chunk("odd ", {'x'})};
    expectData(l, Bytes(4, 7), "unpadded, both places printable");
    // A printable pad byte: "Pdat" and "data" are both plausible, and the
    // padded place is preferred.
    l.afterFmt = {testsupport::chunk("odd ", {'x', 'P'}, 1)};
    expectData(l, Bytes(4, 7), "padded, both places printable");
    // Neither place plausible: the identifier is read right behind the body.
    l.afterFmt = {testsupport::chunk("odd ", {'x'}), testsupport::chunk(std::string("\1\2\3\4"), {})};
    expectData(l, Bytes(4, 7), "no plausible identifier");
    l.afterFmt = {testsupport::chunk("odd ", {'x'})};
    l.hasData = false;
    l.trailing = {0, 'd', 'a', 't', 'a'};  // the file ends behind the identifier
    EXPECT_EQ(ILLEGAL, readHeaderOf(testsupport::buildWav(l)).result);
}

TEST(ReadWavHeader, EmptyDataChunkAndAWrongRiffSizeAreAccepted) {
    WavLayout l = stereo16({});
    HeaderRead r = readHeaderOf(testsupport::buildWav(l));
    ASSERT_EQ(OK, r.result);
    EXPECT_EQ(0u, r.dataSize);

    l = stereo16({1, 2, 3, 4});
    l.riffSize = 7;
    EXPECT_EQ(OK, readHeaderOf(testsupport::buildWav(l)).result);
    l.riffSize = 0xFFFFFFFF;
    EXPECT_EQ(OK, readHeaderOf(testsupport::buildWav(l)).result);
}

TEST(ReadWavHeader, DataSizeIsReportedAsStored) {
    WavLayout l = stereo16({1, 2});
    l.dataSizeField = 0xFFFFFFF0;
    HeaderRead r = readHeaderOf(testsupport::buildWav(l));
    ASSERT_EQ(OK, r.result);
    EXPECT_EQ(0xFFFFFFF0u, r.dataSize);
}

TEST(ReadWavHeader, TruncatedAndMalformedFilesAreRefused) {
    Bytes good = testsupport::buildWav(stereo16({1, 2, 3, 4}));
    // Every cut that ends before the data chunk's size field is complete.
    for (std::size_t length = 0; length < 44; ++length) {
        Bytes cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_EQ(ILLEGAL, readHeaderOf(cut).result) << length << " bytes";
    }
    EXPECT_EQ(OK, readHeaderOf(Bytes(good.begin(), good.begin() + 44)).result);

    WavLayout l = stereo16({1, 2});
    l.hasData = false;
    EXPECT_EQ(ILLEGAL, readHeaderOf(testsupport::buildWav(l)).result);
    l.trailing = {'d', 'a'};  // the scan ends inside an identifier
    EXPECT_EQ(ILLEGAL, readHeaderOf(testsupport::buildWav(l)).result);

    l = stereo16({1, 2});
    l.afterFmt.push_back(testsupport::chunk("LIST", {1, 2, 3}, 1000));  // skips past the end
    EXPECT_EQ(ILLEGAL, readHeaderOf(testsupport::buildWav(l)).result);

    for (const char* id : {"RIFX", "riff"}) {
        l = stereo16({1, 2});
        l.riffId = id;
        EXPECT_EQ(ILLEGAL, readHeaderOf(testsupport::buildWav(l)).result) << id;
    }
    l = stereo16({1, 2});
    l.waveId = "AVI ";
    EXPECT_EQ(ILLEGAL, readHeaderOf(testsupport::buildWav(l)).result);
    l = stereo16({1, 2});
    l.hasFmt = false;
    EXPECT_EQ(ILLEGAL, readHeaderOf(testsupport::buildWav(l)).result);
}

TEST(ReadWavHeader, MissingArgumentsAndFailingReadsAreRefused) {
    WavFormat format;
    std::uint32_t size = 0;
    platform::FileHandle invalid = platform::invalidFile();
    EXPECT_EQ(ILLEGAL, readWavHeader(fileSource(&invalid), &format, &size));
    const Bytes wav = testsupport::buildWav(stereo16({1, 2, 3, 4}));
    MemoryBytes memory = {wav.data(), wav.size(), 0};
    EXPECT_EQ(ILLEGAL, readWavHeader(memorySource(&memory), nullptr, &size));
    EXPECT_EQ(ILLEGAL, readWavHeader(memorySource(&memory), &format, nullptr));
    ByteSource noSeek = memorySource(&memory);
    noSeek.seek = nullptr;
    EXPECT_EQ(ILLEGAL, readWavHeader(noSeek, &format, &size));
}

// The bytes a header writer wrote, and how many more it may write before
// its writes fail.
struct MemorySink {
    Bytes bytes;
    std::size_t room = SIZE_MAX;
};

bool writeToMemory(void* context, const void* buffer, std::uint32_t count, std::uint32_t* written) {
    MemorySink& sink = *static_cast<MemorySink*>(context);
    if (count > sink.room) return false;
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    sink.bytes.insert(sink.bytes.end(), bytes, bytes + count);
    sink.room -= count;
    *written = count;
    return true;
}

// Writes a header into memory and returns its bytes.
Bytes writtenHeader(const WavFormat& format, std::uint32_t dataSize, FileResult* result) {
    MemorySink memory;
    *result = writeWavHeader(ByteSink{writeToMemory, &memory}, format, dataSize);
    return memory.bytes;
}

TEST(WriteWavHeader, WritesTheFixed46ByteLayout) {
    WavFormat format;
    format.formatTag = 1;
    format.channels = 2;
    format.sampleRate = 44100;
    format.bitsPerSample = 16;
    FileResult result = FileResult::CannotWrite;
    Bytes header = writtenHeader(format, 400, &result);
    EXPECT_EQ(OK, result);
    const Bytes expected = {
        'R', 'I', 'F', 'F', 0xB6, 0x01, 0x00, 0x00, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
        18, 0, 0, 0,                // fmt size
        1, 0,                       // format tag
        2, 0,                       // channels
        0x44, 0xAC, 0x00, 0x00,     // 44100
        0x10, 0xB1, 0x02, 0x00,     // 176400
        4, 0,                       // block align
        16, 0,                      // bits
        0, 0,                       // extra size
        'd', 'a', 't', 'a', 0x90, 0x01, 0x00, 0x00};
    EXPECT_EQ(expected, header);
    EXPECT_EQ(446u, header.size() + 400);  // RIFF size 438 + 8

    // From 38 bytes below 4 GiB on, the RIFF size keeps the largest value it
    // holds (0xFFFFFFD9 + 38 is exactly that) instead of wrapping.
    for (std::uint32_t dataSize : {0xFFFFFFD9u, 0xFFFFFFDAu, 0xFFFFFFF0u, 0xFFFFFFFFu}) {
        header = writtenHeader(format, dataSize, &result);
        ASSERT_EQ(46u, header.size());
        EXPECT_EQ(Bytes(4, 0xFF), Bytes(header.begin() + 4, header.begin() + 8)) << dataSize;
        EXPECT_EQ(dataSize, static_cast<std::uint32_t>(header[42] | header[43] << 8 | header[44] << 16) |
                                static_cast<std::uint32_t>(header[45]) << 24);
    }
    header = writtenHeader(format, 0xFFFFFFD8u, &result);
    EXPECT_EQ((Bytes{0xFE, 0xFF, 0xFF, 0xFF}), Bytes(header.begin() + 4, header.begin() + 8));
}

TEST(WriteWavHeader, ComputesTagRatesAndAlignmentInsteadOfCopyingThem) {
    WavFormat format;
    format.formatTag = 3;
    format.channels = 1;
    format.sampleRate = 8000;
    format.byteRate = 1;
    format.blockAlign = 9;
    format.bitsPerSample = 8;
    format.extraSize = 22;
    FileResult result = FileResult::CannotWrite;
    Bytes header = writtenHeader(format, 0, &result);
    EXPECT_EQ(OK, result);
    ASSERT_EQ(46u, header.size());
    auto u16 = [&](std::size_t at) { return header[at] | (header[at + 1] << 8); };
    auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(u16(at)) | (static_cast<std::uint32_t>(u16(at + 2)) << 16);
    };
    EXPECT_EQ(38u, u32(4));
    EXPECT_EQ(1, u16(20));
    EXPECT_EQ(1, u16(22));
    EXPECT_EQ(8000u, u32(24));
    EXPECT_EQ(8000u, u32(28));
    EXPECT_EQ(1, u16(32));
    EXPECT_EQ(8, u16(34));
    EXPECT_EQ(0, u16(36));
    EXPECT_EQ(0u, u32(42));
    // The caller's record is a copy: it keeps its values.
    EXPECT_EQ(3, format.formatTag);
    EXPECT_EQ(22, format.extraSize);
}

TEST(WriteWavHeader, ReportsAHeaderThatCannotBeWritten) {
    WavFormat format;
    format.channels = 2;
    format.sampleRate = 44100;
    format.bitsPerSample = 16;
    MemorySink full;
    full.room = WAV_HEADER_BYTES - 1;
    EXPECT_EQ(FileResult::CannotWrite, writeWavHeader(ByteSink{writeToMemory, &full}, format, 400));
    EXPECT_EQ(FileResult::CannotWrite, writeWavHeader(ByteSink{nullptr, nullptr}, format, 400));
}

}  // namespace
