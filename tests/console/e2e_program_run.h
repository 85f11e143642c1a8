// Shared set-up of the end-to-end tests of both console programs: every test
// runs the built program in a fresh scratch folder and compares its standard
// output and the files it writes with what a reference model expects.
#ifndef QORTA_TESTS_CONSOLE_E2E_PROGRAM_RUN_H
#define QORTA_TESTS_CONSOLE_E2E_PROGRAM_RUN_H

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/support/console_texts.h"
#include "tests/support/program_runner.h"
#include "tests/support/reference_model.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wav_builder.h"

namespace e2e {

using testsupport::Bytes;
using testsupport::ReferenceResult;
using testsupport::ReferenceSettings;

class ProgramRun : public ::testing::Test {
protected:
    explicit ProgramRun(const char* program) : program_(program) {}

    void SetUp() override { ASSERT_FALSE(dir.path().empty()) << "no scratch folder"; }

    // Runs the program in the scratch folder with `stdinBytes` on its input.
    testsupport::RunResult run(const std::vector<std::string>& args, const std::string& stdinBytes = "",
                               std::int64_t fileSizeLimit = -1) {
        testsupport::RunOptions options;
        options.workDir = dir.path();
        options.input = stdinBytes;
        options.fileSizeLimit = fileSizeLimit;
        return testsupport::runProgram(program_, args, options);
    }

    // Runs the program and expects exit status 0, nothing on standard error
    // and exactly `expectedOut` on standard output (elapsed times
    // normalised).
    void expectRun(const std::vector<std::string>& args, const std::string& expectedOut,
                   const std::string& stdinBytes = "", std::int64_t fileSizeLimit = -1) {
        testsupport::RunResult r = run(args, stdinBytes, fileSizeLimit);
        ASSERT_TRUE(r.started) << r.err;
        ASSERT_TRUE(r.exited) << "signal " << r.signal << (r.timedOut ? " (timed out)" : "");
        EXPECT_EQ(0, r.exitStatus);
        EXPECT_EQ("", r.err);
        EXPECT_EQ(expectedOut, testsupport::normaliseElapsed(r.out));
    }

    std::string path(const std::string& name) const { return dir.file(name); }
    void put(const std::string& name, const Bytes& bytes) {
        ASSERT_TRUE(testsupport::writeBytes(path(name), bytes)) << name;
    }
    void mkdir(const std::string& name) { ASSERT_TRUE(testsupport::makeDir(path(name))) << name; }
    Bytes get(const std::string& name) const { return testsupport::fileBytes(path(name)); }
    bool exists(const std::string& name) const { return testsupport::pathExists(path(name)); }

    // Expects the file `name` to be byte-identical to the model's output.
    void expectOutput(const std::string& name, const ReferenceResult& expected) {
        ASSERT_EQ(testsupport::ReferenceOutcome::Processed, expected.outcome);
        Bytes actual = get(name);
        ASSERT_EQ(expected.output.size(), actual.size()) << name;
        EXPECT_TRUE(expected.output == actual) << name << " differs from the reference";
    }

    static std::string pairLines(const std::string& input, const std::string& output) {
        return "input file:" + input + "\noutput file:" + output + "\n";
    }
    // The path the program builds from a folder as typed and a file name:
    // the folder with the separator appended unless it ends in one (on
    // Windows only a backslash counts, as for PathAddBackslashA), then the
    // name.
    static std::string joined(std::string folder, const std::string& name) {
        platform::addSeparator(folder);
        return folder + name;
    }
    // `names` (files in the scratch folder `folder`) in the order in which
    // the program meets them in a folder-to-folder run. On Linux that is the
    // order given, which the test states; on Windows it is the order in
    // which the system lists the folder.
    std::vector<std::string> inListingOrder(const std::string& folder, std::vector<std::string> names) const {
#ifdef _WIN32
        std::string where = path(folder);
        platform::addSeparator(where);
        std::vector<platform::FolderEntry> entries;
        platform::listWavEntries(where, &entries);
        std::vector<std::string> ordered;
        for (const platform::FolderEntry& entry : entries)
            if (std::find(names.begin(), names.end(), entry.name) != names.end()) ordered.push_back(entry.name);
        EXPECT_EQ(ordered.size(), names.size()) << "listing of " << where;
        return ordered;
#else
        (void)folder;
        return names;
#endif
    }

    testsupport::TempDir dir;

private:
    std::string program_;
};

// A short 16-bit stereo recording with a DC offset on both channels; `tone`
// changes the content so that files of one test differ.
inline Bytes stereo16File(int tone = 1, std::size_t frames = 3000, std::uint32_t rate = 44100) {
    return testsupport::pcmWav(2, rate, 16, testsupport::sine16(frames, 2, rate, 60.0 * tone, 9000.0, 700.0 - tone));
}

inline Bytes mono8File(int tone = 1, std::size_t frames = 3000, std::uint32_t rate = 11025) {
    return testsupport::pcmWav(1, rate, 8, testsupport::sine8(frames, 1, rate, 80.0 * tone, 60.0, 3.0));
}

}  // namespace e2e

#endif
