#include "platform/platform.h"

#include <sys/stat.h>

#include <string>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace {

using testsupport::Bytes;
using testsupport::TempDir;

std::vector<std::string> listedNames(const std::string& folder, bool* found) {
    std::vector<platform::FolderEntry> entries;
    *found = platform::listWavEntries(folder, &entries);
    std::vector<std::string> names;
    for (const platform::FolderEntry& e : entries) names.push_back(e.name + (e.isDirectory ? "/" : ""));
    return names;
}

TEST(ListWavEntries, MatchesDotWavInAnyCaseAndSortsByFoldedName) {
    TempDir dir;
    for (const char* name : {"b.wav", "a.WAV", "A.wav", "_x.wav", "Z.wav", "ab.wav", ".wav", "X.Wav", "notes.txt",
                             "wav", "x.wavx", "y.wa", "c.wav.bak"})
        ASSERT_TRUE(testsupport::writeBytes(dir.file(name), {}));
    ASSERT_TRUE(testsupport::makeDir(dir.file("sub.wav")));
    ASSERT_TRUE(testsupport::makeDir(dir.file("plain")));
    ASSERT_EQ(0, symlink(dir.file("plain").c_str(), dir.file("link.wav").c_str()));
    ASSERT_EQ(0, symlink(dir.file("b.wav").c_str(), dir.file("filelink.wav").c_str()));
    // FIFOs and devices are left out; a link that leads nowhere stays.
    ASSERT_EQ(0, mkfifo(dir.file("fifo.wav").c_str(), 0666));
    ASSERT_EQ(0, symlink("/dev/null", dir.file("null.wav").c_str()));
    ASSERT_EQ(0, symlink(dir.file("none").c_str(), dir.file("dangling.wav").c_str()));
    bool found = false;
    // '.' sorts before letters, '_' after the upper-case letters, and equal
    // folded names fall back to byte order ("A.wav" before "a.WAV").
    EXPECT_EQ((std::vector<std::string>{".wav", "A.wav", "a.WAV", "ab.wav", "b.wav", "dangling.wav", "filelink.wav", "link.wav/",
                                        "sub.wav/", "X.Wav", "Z.wav", "_x.wav"}),
              listedNames(dir.path() + "/", &found));
    EXPECT_TRUE(found);
}

TEST(ListWavEntries, EmptyAndUnmatchedFoldersAreReadMissingOnesAreNot) {
    TempDir dir;
    bool found = false;
    EXPECT_TRUE(listedNames(dir.path() + "/", &found).empty());
    EXPECT_TRUE(found);
    ASSERT_TRUE(testsupport::writeBytes(dir.file("a.txt"), {}));
    found = false;
    EXPECT_TRUE(listedNames(dir.path() + "/", &found).empty());
    EXPECT_TRUE(found);
    EXPECT_TRUE(listedNames(dir.file("missing/"), &found).empty());
    EXPECT_FALSE(found);
    EXPECT_TRUE(listedNames(dir.file("a.txt/"), &found).empty());
    EXPECT_FALSE(found);
}

TEST(FolderNames, SeparatorIsAddedOnceAndTheFileNameIsTheLastPart) {
    std::string folder = "out";
    platform::addSeparator(folder);
    EXPECT_EQ("out/", folder);
    platform::addSeparator(folder);
    EXPECT_EQ("out/", folder);
    std::string empty;  // the current folder, which "/" would turn into the root
    platform::addSeparator(empty);
    EXPECT_EQ("", empty);

    std::string name;
    ASSERT_TRUE(platform::fileNamePart("a/b/c.wav", &name));
    EXPECT_EQ("c.wav", name);
    ASSERT_TRUE(platform::fileNamePart("c.wav", &name));
    EXPECT_EQ("c.wav", name);
    ASSERT_TRUE(platform::fileNamePart("/.wav", &name));
    EXPECT_EQ(".wav", name);
    name = "kept";
    EXPECT_FALSE(platform::fileNamePart("a/b/", &name));
    EXPECT_EQ("kept", name);
}

// A folder with an input file "in.wav" open for reading.
struct OpenInput {
    TempDir dir;
    std::string path = dir.file("in.wav");
    Bytes content = {'R', 'I', 'F', 'F', 1, 2, 3, 4, 5};
    platform::FileHandle handle = platform::invalidFile();

    OpenInput() {
        testsupport::writeBytes(path, content);
        handle = platform::openInputFile(path.c_str());
    }
    ~OpenInput() { platform::closeFile(handle); }
};

TEST(OutputFiles, AnOutputNamingTheOpenInputIsNeitherFoundNorCreated) {
    OpenInput in;
    ASSERT_TRUE(platform::isValid(in.handle));
    ASSERT_EQ(0, link(in.path.c_str(), in.dir.file("hard.wav").c_str()));
    ASSERT_EQ(0, symlink(in.path.c_str(), in.dir.file("soft.wav").c_str()));
    for (const std::string& name : {in.path, in.dir.file("hard.wav"), in.dir.file("soft.wav"),
                                    in.dir.path() + "/./in.wav"}) {
        EXPECT_FALSE(platform::outputExists(name.c_str(), in.handle)) << name;
        for (platform::CreateMode mode : {platform::CreateMode::CreateNew, platform::CreateMode::CreateAlways}) {
            platform::FileHandle out = platform::createOutputFile(name.c_str(), mode, in.handle);
            EXPECT_FALSE(platform::isValid(out)) << name;
            platform::closeFile(out);
        }
    }
    EXPECT_EQ(in.content, testsupport::fileBytes(in.path));
}

TEST(OutputFiles, ExistenceTestCountsReadableFilesOnly) {
    OpenInput in;
    ASSERT_TRUE(testsupport::writeBytes(in.dir.file("other.wav"), {1}));
    ASSERT_TRUE(testsupport::makeDir(in.dir.file("folder.wav")));
    EXPECT_TRUE(platform::outputExists(in.dir.file("other.wav").c_str(), in.handle));
    EXPECT_TRUE(platform::outputExists(in.path.c_str(), platform::invalidFile()));
    EXPECT_FALSE(platform::outputExists(in.dir.file("missing.wav").c_str(), in.handle));
    EXPECT_FALSE(platform::outputExists(in.dir.file("folder.wav").c_str(), in.handle));
}

TEST(OutputFiles, CreateNewRefusesAnExistingFileAndCreateAlwaysTruncatesIt) {
    OpenInput in;
    const std::string other = in.dir.file("other.wav");
    ASSERT_TRUE(testsupport::writeBytes(other, {1, 2, 3}));
    platform::FileHandle out = platform::createOutputFile(other.c_str(), platform::CreateMode::CreateNew, in.handle);
    EXPECT_FALSE(platform::isValid(out));
    EXPECT_EQ((Bytes{1, 2, 3}), testsupport::fileBytes(other));

    out = platform::createOutputFile(other.c_str(), platform::CreateMode::CreateAlways, in.handle);
    ASSERT_TRUE(platform::isValid(out));
    std::uint32_t written = 0;
    EXPECT_TRUE(platform::writeFile(out, "ab", 2, &written));
    EXPECT_EQ(2u, written);
    platform::closeFile(out);
    EXPECT_EQ((Bytes{'a', 'b'}), testsupport::fileBytes(other));

    const std::string fresh = in.dir.file("fresh.wav");
    out = platform::createOutputFile(fresh.c_str(), platform::CreateMode::CreateNew, in.handle);
    EXPECT_TRUE(platform::isValid(out));
    platform::closeFile(out);
    EXPECT_TRUE(testsupport::pathExists(fresh));

    // Folders and missing parents are never outputs.
    ASSERT_TRUE(testsupport::makeDir(in.dir.file("folder.wav")));
    for (platform::CreateMode mode : {platform::CreateMode::CreateNew, platform::CreateMode::CreateAlways}) {
        EXPECT_FALSE(platform::isValid(platform::createOutputFile(in.dir.file("folder.wav").c_str(), mode, in.handle)));
        EXPECT_FALSE(platform::isValid(platform::createOutputFile(in.dir.file("no/x.wav").c_str(), mode, in.handle)));
    }
}

TEST(Files, ReadsComeUpShortAtTheEndAndSeeksMayPassIt) {
    OpenInput in;
    ASSERT_TRUE(platform::isValid(in.handle));
    EXPECT_FALSE(platform::isValid(platform::openInputFile(in.dir.path().c_str())));
    EXPECT_FALSE(platform::isValid(platform::openInputFile(in.dir.file("missing").c_str())));
    unsigned char buffer[16];
    std::uint32_t delivered = 99;
    ASSERT_TRUE(platform::readFile(in.handle, buffer, 4, &delivered));
    EXPECT_EQ(4u, delivered);
    EXPECT_EQ(4, platform::seekFile(in.handle, 0, platform::SeekOrigin::Current));
    ASSERT_TRUE(platform::readFile(in.handle, buffer, 16, &delivered));
    EXPECT_EQ(5u, delivered);
    EXPECT_EQ(1000, platform::seekFile(in.handle, 991, platform::SeekOrigin::Current));
    ASSERT_TRUE(platform::readFile(in.handle, buffer, 4, &delivered));
    EXPECT_EQ(0u, delivered);
    EXPECT_EQ(2, platform::seekFile(in.handle, 2, platform::SeekOrigin::Begin));
    ASSERT_TRUE(platform::readFile(in.handle, buffer, 1, &delivered));
    EXPECT_EQ('F', buffer[0]);
}

TEST(Clock, TicksAreMilliseconds) {
    std::uint32_t start = platform::tickCount();
    usleep(30000);
    std::uint32_t elapsed = platform::tickCount() - start;
    EXPECT_GE(elapsed, 29u);
    EXPECT_LT(elapsed, 5000u);
}

}  // namespace
