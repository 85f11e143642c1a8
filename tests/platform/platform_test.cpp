// The operating-system services as the console programs rely on them. The
// same cases run against the POSIX and the Win32 implementation; the cases
// that only one platform defines (letter case, separators) are marked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
const char SEPARATOR = '\\';
#else
const char SEPARATOR = '/';
#endif

// A fresh folder for one test, removed afterwards. Paths are plain narrow
// strings as the console programs pass them.
class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        folder_ = fs::temp_directory_path() / (std::string("qorta_platform_") + info->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    std::string path(const std::string& name) const { return folder_.string() + SEPARATOR + name; }

    void writeText(const std::string& name, const std::string& text) const {
        std::ofstream out(path(name), std::ios::binary);
        out << text;
    }

    std::string readText(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    fs::path folder_;
};

// A pipe holding `text`, its writing end already closed, as a file handle.
platform::FileHandle pipeHolding(const std::string& text) {
#ifdef _WIN32
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, nullptr, 0)) return platform::invalidFile();
    DWORD written = 0;
    WriteFile(writeEnd, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(writeEnd);
    return platform::FileHandle{reinterpret_cast<std::intptr_t>(readEnd)};
#else
    int ends[2];
    if (pipe(ends) != 0) return platform::invalidFile();
    ssize_t written = write(ends[1], text.data(), text.size());
    (void)written;
    close(ends[1]);
    return platform::FileHandle{ends[0]};
#endif
}

// Puts `handle` in place of standard input until destroyed.
class StandardInputSwap {
public:
    explicit StandardInputSwap(platform::FileHandle handle) {
#ifdef _WIN32
        saved_ = GetStdHandle(STD_INPUT_HANDLE);
        SetStdHandle(STD_INPUT_HANDLE, reinterpret_cast<HANDLE>(handle.value));
#else
        saved_ = dup(STDIN_FILENO);
        dup2(static_cast<int>(handle.value), STDIN_FILENO);
        platform::closeFile(handle);
#endif
    }
    ~StandardInputSwap() {
#ifdef _WIN32
        CloseHandle(GetStdHandle(STD_INPUT_HANDLE));
        SetStdHandle(STD_INPUT_HANDLE, saved_);
#else
        dup2(saved_, STDIN_FILENO);
        close(saved_);
#endif
    }

private:
#ifdef _WIN32
    HANDLE saved_;
#else
    int saved_;
#endif
};

TEST_F(PlatformTest, OutputNamingTheOpenInputIsRefusedAndTheInputKept) {
    writeText("in.wav", "original");
    platform::FileHandle input = platform::openInputFile(path("in.wav").c_str());
    ASSERT_TRUE(platform::isValid(input));

    EXPECT_FALSE(platform::outputExists(path("in.wav").c_str(), input));
    for (platform::CreateMode mode : {platform::CreateMode::CreateNew, platform::CreateMode::CreateAlways}) {
        platform::FileHandle output = platform::createOutputFile(path("in.wav").c_str(), mode, input);
        EXPECT_FALSE(platform::isValid(output));
        platform::closeFile(output);
    }
    // Another reader is still welcome: the input is shared for reading.
    platform::FileHandle second = platform::openInputFile(path("in.wav").c_str());
    EXPECT_TRUE(platform::isValid(second));
    platform::closeFile(second);
    platform::closeFile(input);
    EXPECT_EQ(readText("in.wav"), "original");
}

TEST_F(PlatformTest, ExistingOutputIsSeenAndReplacedOnlyWhenCreatedAlways) {
    writeText("out.wav", "old contents");
    platform::FileHandle none = platform::invalidFile();
    EXPECT_TRUE(platform::outputExists(path("out.wav").c_str(), none));
    EXPECT_FALSE(platform::outputExists(path("missing.wav").c_str(), none));

    platform::FileHandle refused = platform::createOutputFile(path("out.wav").c_str(), platform::CreateMode::CreateNew, none);
    EXPECT_FALSE(platform::isValid(refused));
    EXPECT_EQ(readText("out.wav"), "old contents");

    platform::FileHandle output = platform::createOutputFile(path("out.wav").c_str(), platform::CreateMode::CreateAlways, none);
    ASSERT_TRUE(platform::isValid(output));
    std::uint32_t written = 0;
    EXPECT_TRUE(platform::writeFile(output, "new", 3, &written));
    EXPECT_EQ(written, 3u);
    platform::closeFile(output);
    EXPECT_EQ(readText("out.wav"), "new");

    platform::FileHandle fresh = platform::createOutputFile(path("fresh.wav").c_str(), platform::CreateMode::CreateNew, none);
    EXPECT_TRUE(platform::isValid(fresh));
    platform::closeFile(fresh);
    EXPECT_TRUE(fs::exists(path("fresh.wav")));
}

TEST_F(PlatformTest, FoldersDevicesAndMissingFilesDoNotOpen) {
    fs::create_directory(path("sub.wav"));
    EXPECT_FALSE(platform::isValid(platform::openInputFile(path("sub.wav").c_str())));
#ifdef _WIN32
    EXPECT_FALSE(platform::isValid(platform::openInputFile("NUL")));
#else
    EXPECT_FALSE(platform::isValid(platform::openInputFile("/dev/null")));
#endif
    EXPECT_FALSE(platform::isValid(platform::openInputFile(path("missing.wav").c_str())));
    EXPECT_FALSE(platform::outputExists(path("sub.wav").c_str(), platform::invalidFile()));
    platform::closeFile(platform::invalidFile());  // harmless
}

TEST_F(PlatformTest, AFileHasOneIdentityUnderEveryName) {
    writeText("a.wav", "a");
    writeText("b.wav", "b");
    platform::FileIdentity a{}, again{}, b{};
    ASSERT_TRUE(platform::fileIdentity(path("a.wav").c_str(), &a));
    ASSERT_TRUE(platform::fileIdentity((path(".") + SEPARATOR + "a.wav").c_str(), &again));
    ASSERT_TRUE(platform::fileIdentity(path("b.wav").c_str(), &b));
    EXPECT_TRUE(platform::sameIdentity(a, again));
    EXPECT_FALSE(platform::sameIdentity(a, b));
    EXPECT_FALSE(platform::fileIdentity(path("missing.wav").c_str(), &b));
}

TEST_F(PlatformTest, OnlyRegularFilesHaveASizeAndTakeWritesAtAPositionAndCuts) {
    platform::FileHandle output =
        platform::createOutputFile(path("out.wav").c_str(), platform::CreateMode::CreateNew, platform::invalidFile());
    ASSERT_TRUE(platform::isValid(output));
    std::uint32_t written = 0;
    ASSERT_TRUE(platform::writeFile(output, "0123456789", 10, &written));
    EXPECT_EQ(platform::regularFileSize(output), 10);
    EXPECT_TRUE(platform::writeFileAt(output, 4, "ab", 2));
    EXPECT_EQ(platform::regularFileSize(output), 10);
    EXPECT_TRUE(platform::truncateFile(output, 7));
    EXPECT_EQ(platform::regularFileSize(output), 7);
    platform::closeFile(output);
    EXPECT_EQ(readText("out.wav"), "0123ab6");

    platform::FileHandle pipe = pipeHolding("abc");
    ASSERT_TRUE(platform::isValid(pipe));
    EXPECT_EQ(platform::regularFileSize(pipe), -1);
    EXPECT_FALSE(platform::truncateFile(pipe, 0));
    platform::closeFile(pipe);
}

TEST_F(PlatformTest, ReadsComeShortAtTheEndAndSeeksReportPositions) {
    writeText("data.bin", "0123456789");
    platform::FileHandle file = platform::openInputFile(path("data.bin").c_str());
    ASSERT_TRUE(platform::isValid(file));
    char buffer[16] = {};
    std::uint32_t delivered = 0;
    ASSERT_TRUE(platform::readFile(file, buffer, 4, &delivered));
    EXPECT_EQ(delivered, 4u);
    EXPECT_EQ(platform::seekFile(file, 0, platform::SeekOrigin::Current), 4);
    EXPECT_EQ(platform::seekFile(file, 3, platform::SeekOrigin::Current), 7);
    ASSERT_TRUE(platform::readFile(file, buffer, 16, &delivered));
    EXPECT_EQ(delivered, 3u);
    EXPECT_EQ(std::string(buffer, 3), "789");
    ASSERT_TRUE(platform::readFile(file, buffer, 16, &delivered));
    EXPECT_EQ(delivered, 0u);

    // A forward move of 2 GiB or more past the end stays a forward move.
    const std::int64_t distance = 0x90000000LL;
    EXPECT_EQ(platform::seekFile(file, distance, platform::SeekOrigin::Current), 10 + distance);
    EXPECT_EQ(platform::seekFile(file, 2, platform::SeekOrigin::Begin), 2);
    ASSERT_TRUE(platform::readFile(file, buffer, 1, &delivered));
    EXPECT_EQ(buffer[0], '2');
    platform::closeFile(file);
}

TEST_F(PlatformTest, PipeReadsEndWhenTheWriterIsGone) {
    platform::FileHandle pipe = pipeHolding("abc");
    ASSERT_TRUE(platform::isValid(pipe));
    char buffer[8];
    std::uint32_t delivered = 99;
    ASSERT_TRUE(platform::readFile(pipe, buffer, sizeof buffer, &delivered));
    EXPECT_EQ(delivered, 3u);
    ASSERT_TRUE(platform::readFile(pipe, buffer, sizeof buffer, &delivered));
    EXPECT_EQ(delivered, 0u);
    platform::closeFile(pipe);
}

TEST_F(PlatformTest, KeysComeFromRedirectedInputOneByteAtATimeUntilItEnds) {
    StandardInputSwap swap(pipeHolding("Yn\xff"));
    EXPECT_EQ(platform::readKey(), 'Y');
    EXPECT_EQ(platform::readKey(), 'n');
    EXPECT_EQ(platform::readKey(), 0xFF);
    EXPECT_EQ(platform::readKey(), -1);
    EXPECT_EQ(platform::readKey(), -1);
}

TEST_F(PlatformTest, SeparatorIsAppendedOnce) {
    std::string folder = "out";
    platform::addSeparator(folder);
    EXPECT_EQ(folder, std::string("out") + SEPARATOR);
    platform::addSeparator(folder);
    EXPECT_EQ(folder, std::string("out") + SEPARATOR);

    // Longer than a path buffer: still appended, nothing overrun.
    std::string longFolder(300, 'd');
    platform::addSeparator(longFolder);
    EXPECT_EQ(longFolder, std::string(300, 'd') + SEPARATOR);
}

TEST_F(PlatformTest, FileNamePartIsTheLastComponent) {
    std::string name;
    ASSERT_TRUE(platform::fileNamePart("song.wav", &name));
    EXPECT_EQ(name, "song.wav");
    ASSERT_TRUE(platform::fileNamePart(path("take1.WAV"), &name));
    EXPECT_EQ(name, "take1.WAV");
    ASSERT_TRUE(platform::fileNamePart(std::string("d1") + SEPARATOR + "a.wav", &name));
    EXPECT_EQ(name, "a.wav");
    name = "unchanged";
    EXPECT_FALSE(platform::fileNamePart(std::string("outdir") + SEPARATOR, &name));
    EXPECT_EQ(name, "unchanged");
}

TEST_F(PlatformTest, ListingKeepsWavNamesInAnyCaseAndMarksFolders) {
    writeText("b.WAV", "");
    writeText("a.wav", "");
    writeText("notes.txt", "");
    writeText("long.wave", "");
    writeText("wav", "");
    fs::create_directory(path("sub.wav"));

    std::vector<platform::FolderEntry> entries;
    ASSERT_TRUE(platform::listWavEntries(path(""), &entries));
    std::vector<std::string> names;
    for (const auto& entry : entries) {
        names.push_back(entry.name);
        EXPECT_EQ(entry.isDirectory, entry.name == "sub.wav") << entry.name;
    }
#ifdef _WIN32
    std::sort(names.begin(), names.end());  // the system's order
    EXPECT_EQ(names, (std::vector<std::string>{"a.wav", "b.WAV", "sub.wav"}));
#else
    EXPECT_EQ(names, (std::vector<std::string>{"a.wav", "b.WAV", "sub.wav"}));
#endif

    EXPECT_FALSE(platform::listWavEntries(path("missing") + SEPARATOR, &entries));
    EXPECT_TRUE(entries.empty());
    // A folder without WAV files is read, and holds none.
    fs::create_directory(path("empty"));
    writeText(std::string("empty") + SEPARATOR + "x.txt", "");
    EXPECT_TRUE(platform::listWavEntries(path("empty") + SEPARATOR, &entries));
    EXPECT_TRUE(entries.empty());
}

TEST_F(PlatformTest, MemoryComesZeroedInEverySizeAndIsReleased) {
    // Small buffers, buffers around the size from which they are mapped on
    // their own, and a size that is no whole number of pages.
    for (std::size_t bytes : {std::size_t{0}, std::size_t{1}, std::size_t{4096}, (std::size_t{1} << 20) - 1,
                              std::size_t{1} << 20, (std::size_t{3} << 20) + 12345}) {
        SCOPED_TRACE(bytes);
        for (int round = 0; round < 2; ++round) {  // the second round may reuse the first's memory
            auto* memory = static_cast<unsigned char*>(platform::allocateMemory(bytes));
            ASSERT_NE(memory, nullptr);
            std::size_t nonZero = 0;
            for (std::size_t i = 0; i < bytes; ++i) nonZero += memory[i] != 0;
            EXPECT_EQ(nonZero, 0u);
            std::memset(memory, 0x5A, bytes);
            platform::releaseMemory(memory, bytes);
        }
    }
    platform::releaseMemory(nullptr, 1 << 20);  // nothing to release
}

TEST_F(PlatformTest, ClockAdvancesInMilliseconds) {
    std::uint32_t before = platform::tickCount();
#ifdef _WIN32
    Sleep(100);
#else
    usleep(100000);
#endif
    std::uint32_t elapsed = platform::tickCount() - before;
    EXPECT_GE(elapsed, 50u);
    EXPECT_LT(elapsed, 60000u);
}

#ifdef _WIN32
// Windows names ignore letter case, resolve "." and "..", and take both
// separators; the same-file refusal rests on the sharing modes alone.
TEST_F(PlatformTest, WindowsRefusesTheInputUnderAnyOfItsNames) {
    writeText("In.wav", "original");
    fs::create_directory(path("sub"));
    platform::FileHandle input = platform::openInputFile(path("in.WAV").c_str());
    ASSERT_TRUE(platform::isValid(input));
    for (const std::string& alias : {path("IN.WAV"), path("sub\\..\\in.wav"), path("sub/../In.wav")}) {
        EXPECT_FALSE(platform::outputExists(alias.c_str(), input)) << alias;
        platform::FileHandle output =
            platform::createOutputFile(alias.c_str(), platform::CreateMode::CreateAlways, input);
        EXPECT_FALSE(platform::isValid(output)) << alias;
        platform::closeFile(output);
    }
    platform::closeFile(input);
    EXPECT_EQ(readText("In.wav"), "original");
}

TEST_F(PlatformTest, WindowsOutputIsNotSharedWhileOpen) {
    platform::FileHandle output = platform::createOutputFile(path("out.wav").c_str(), platform::CreateMode::CreateNew,
                                                             platform::invalidFile());
    ASSERT_TRUE(platform::isValid(output));
    EXPECT_FALSE(platform::isValid(platform::openInputFile(path("out.wav").c_str())));
    platform::closeFile(output);
    platform::FileHandle input = platform::openInputFile(path("out.wav").c_str());
    EXPECT_TRUE(platform::isValid(input));
    platform::closeFile(input);
}

TEST_F(PlatformTest, WindowsFileNamePartComesFromTheResolvedPath) {
    std::string name;
    ASSERT_TRUE(platform::fileNamePart("d1\\sub\\..\\x.wav", &name));
    EXPECT_EQ(name, "x.wav");
    ASSERT_TRUE(platform::fileNamePart("d1/y.wav", &name));
    EXPECT_EQ(name, "y.wav");
    ASSERT_TRUE(platform::fileNamePart("C:\\rec\\TAKE1.WAV", &name));
    EXPECT_EQ(name, "TAKE1.WAV");
    EXPECT_FALSE(platform::fileNamePart("C:\\rec\\", &name));
    // The full path must fit into 260 bytes.
    EXPECT_FALSE(platform::fileNamePart("C:\\" + std::string(300, 'n') + ".wav", &name));
}

TEST_F(PlatformTest, WindowsListingIgnoresTheLetterCaseOfTheFolder) {
    fs::create_directory(path("Takes"));
    writeText("Takes\\one.wav", "");
    std::vector<platform::FolderEntry> entries;
    ASSERT_TRUE(platform::listWavEntries(path("TAKES\\"), &entries));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "one.wav");
    // A folder name too long for the pattern buffer lists nothing.
    EXPECT_FALSE(platform::listWavEntries("C:\\" + std::string(256, 'f') + "\\", &entries));
}
#endif

}  // namespace
