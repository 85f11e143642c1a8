// Disk faults at every read and every write a small batch reaches, and a
// failed allocation of every buffer, in both console programs: the N-th
// read fails or comes back short, the N-th write fails or writes only half,
// or the N-th allocation fails. For each, the file in work must get the one
// message of its failure and nothing after it, its input must stay
// byte-identical, its output must hold the header and the whole frames
// written before the fault, the header telling those frames (be empty when
// not even the header was written, or not exist when the fault came before
// it was created), no file
// may stay open and no memory may leak, and the next file of the batch must
// come out complete.
//
// The programs run in this process, linked against the fault platform. This
// file is built twice: with the programs' block size, and with blocks of
// 1024 frames so that the same small files take several blocks and window
// refills.
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console/console_program.h"
#include "console/fir_stream.h"
#include "console/iir_stream.h"
#include "console/wav_container.h"
#include "platform/platform.h"
#include "tests/hardening/fault_platform.h"
#include "tests/support/program_runner.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wav_builder.h"

#if defined(__SANITIZE_ADDRESS__)
#define QORTA_LEAK_CHECK 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QORTA_LEAK_CHECK 1
#endif
#endif
#ifdef QORTA_LEAK_CHECK
#include <sanitizer/lsan_interface.h>
#endif

using namespace console;

namespace {

using faults::Fault;
using faults::FaultPlan;
using testsupport::Bytes;

// True when LeakSanitizer finds memory that nothing points to any more.
// Without the sanitizer there is nothing to ask (valgrind covers that build).
bool leaksFound() {
#ifdef QORTA_LEAK_CHECK
    return __lsan_do_recoverable_leak_check() != 0;
#else
    return false;
#endif
}

void noSettingsLine(const CorrectorSettings&) {}

// The programs without banner and settings line: the text of a run is then
// the batch's own lines and those of its files.
const ConsoleProgram IIR_PROGRAM = {"", "", false, noSettingsLine, &IIR_STREAM_STAGE};
const ConsoleProgram FIR_PROGRAM = {"", "", true, noSettingsLine, &FIR_STREAM_STAGE};

const char* const READ_FAILURE = "ERROR! cannot read file\n";
const char* const WRITE_FAILURE = "ERROR! cannot write file\n";
const char* const REFUSED_HEADER = "ERROR! illegal wav format\n";
const char* const OUT_OF_MEMORY = "ERROR! out of memory\n";

class FaultInjection : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir.path().empty());
        program = GetParam() ? &FIR_PROGRAM : &IIR_PROGRAM;
        inA = dir.file("a.wav");
        inB = dir.file("b.wav");
        outDir = dir.file("out");
        outA = outDir + "/a.wav";
        outB = outDir + "/b.wav";
        capture = dir.file("stdout.txt");
        // 8000 Hz keeps the FIR kernel (N = 160) inside the small window.
        a = testsupport::pcmWav(2, 8000, 16, testsupport::sine16(3000, 2, 8000, 70, 12000, 900));
        b = testsupport::pcmWav(1, 8000, 8, testsupport::sine8(1500, 1, 8000, 90, 70, 5));
        ASSERT_TRUE(testsupport::writeBytes(inA, a) && testsupport::writeBytes(inB, b));
        ASSERT_TRUE(testsupport::makeDir(outDir));
        modeLines = "input file:" + inA + " " + inB + " \noutput dir:" + outDir + "\n";

        // The fault-free batch, and file a on its own.
        faults::arm(FaultPlan());
        const std::string clean = runBatch({inA, inB});
        cleanReadsBeforeA = faults::record().readsBeforeCreate.at(outA);
        cleanAllocationsBeforeA = faults::record().allocationsBeforeCreate.at(outA);
        const std::size_t startB = clean.find("\nprocessing file \"" + inB);
        ASSERT_EQ(0u, clean.find(modeLines));
        ASSERT_NE(std::string::npos, startB);
        textA = clean.substr(modeLines.size(), startB - modeLines.size());
        textB = clean.substr(startB);
        ASSERT_NE(std::string::npos, textA.find("elapse ")) << clean;
        ASSERT_NE(std::string::npos, textB.find("elapse ")) << clean;
        cleanOutA = testsupport::fileBytes(outA);
        cleanOutB = testsupport::fileBytes(outB);
        ASSERT_GT(cleanOutA.size(), WAV_HEADER_BYTES);
        ASSERT_GT(cleanOutB.size(), WAV_HEADER_BYTES);

        faults::arm(FaultPlan());
        runBatch({inA});
        readsOfA = faults::record().reads;
        writesOfA = faults::record().writes;
        allocationsOfA = faults::record().allocations;

        faults::arm(FaultPlan());
        platform::FileHandle file = platform::openInputFile(inA.c_str());
        WavFormat format;
        std::uint32_t dataSize = 0;
        ASSERT_EQ(FileResult::Ok, readWavHeader(fileSource(&file), &format, &dataSize));
        platform::closeFile(file);
        headerReads = faults::record().reads;
        ASSERT_FALSE(leaksFound());
    }

    // Runs the program in multi-file mode with -y on `inputs` into the
    // output folder and returns what it printed.
    std::string runBatch(const std::vector<std::string>& inputs) {
        std::vector<std::string> args = {"qorta", "-y"};
        args.insert(args.end(), inputs.begin(), inputs.end());
        args.push_back(outDir);
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(&arg[0]);

        std::fflush(stdout);
        const int saved = dup(STDOUT_FILENO);
        const int fd = open(capture.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, STDOUT_FILENO);
        close(fd);
        const int status = runConsoleProgram(*program, static_cast<int>(argv.size()), argv.data());
        std::fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        close(saved);
        EXPECT_EQ(0, status);
        const Bytes text = testsupport::fileBytes(capture);
        return std::string(text.begin(), text.end());
    }

    // Runs the batch with `plan` (one fault in file a) and checks
    // everything the failure table promises.
    void expectHandled(const FaultPlan& plan, const std::string& message, bool outputCreated) {
        unlink(outA.c_str());
        unlink(outB.c_str());
        faults::arm(plan);
        const std::string text = runBatch({inA, inB});
        const faults::Record rec = faults::record();
        ASSERT_TRUE(rec.faultStruck);
        const long printed = rec.stdoutAtFault - static_cast<long>(modeLines.size());
        ASSERT_GE(printed, 0);
        ASSERT_LE(printed, static_cast<long>(textA.size()));
        // What file a printed up to the fault, its message, and nothing
        // more for it: file b follows at once.
        EXPECT_EQ(testsupport::normaliseElapsed(modeLines + textA.substr(0, printed) + message + textB),
                  testsupport::normaliseElapsed(text));
        EXPECT_EQ(a, testsupport::fileBytes(inA)) << "input a changed";
        EXPECT_EQ(b, testsupport::fileBytes(inB)) << "input b changed";
        ASSERT_EQ(outputCreated, testsupport::pathExists(outA));
        if (outputCreated) {
            EXPECT_EQ(testsupport::cutOutput(cleanOutA, rec.bytesWritten.at(outA), 4), testsupport::fileBytes(outA))
                << "the output is not the whole frames written with a true header";
        }
        EXPECT_EQ(cleanOutB, testsupport::fileBytes(outB)) << "the next file of the batch suffered";
        EXPECT_EQ(rec.opened, rec.closed) << "a file stayed open";
        EXPECT_EQ(rec.allocated, rec.released) << "a buffer was not released";
        EXPECT_FALSE(leaksFound());
    }

    testsupport::TempDir dir;
    const ConsoleProgram* program = nullptr;
    std::string inA, inB, outDir, outA, outB, capture, modeLines, textA, textB;
    Bytes a, b, cleanOutA, cleanOutB;
    long cleanReadsBeforeA = 0, cleanAllocationsBeforeA = 0, readsOfA = 0, writesOfA = 0, allocationsOfA = 0,
         headerReads = 0;
};

TEST_P(FaultInjection, EveryReadThatFailsOrComesBackShort) {
    ASSERT_GT(readsOfA, headerReads + 1);
    std::fprintf(stderr, "reads 1 to %ld (1 to %ld in the header, output created after %ld)\n", readsOfA,
                 headerReads, cleanReadsBeforeA);
    for (Fault fault : {Fault::Fail, Fault::Short}) {
        for (long n = 1; n <= readsOfA; ++n) {
            SCOPED_TRACE((fault == Fault::Fail ? "failing read " : "short read ") + std::to_string(n) + " of " +
                         std::to_string(readsOfA));
            FaultPlan plan;
            plan.readFault = fault;
            plan.readCall = n;
            expectHandled(plan, n <= headerReads ? REFUSED_HEADER : READ_FAILURE, n > cleanReadsBeforeA);
            if (HasFatalFailure()) return;
        }
    }
}

TEST_P(FaultInjection, EveryWriteThatFailsOrWritesOnlyHalf) {
    ASSERT_GE(writesOfA, 2);  // the header and the samples
    std::fprintf(stderr, "writes 1 to %ld\n", writesOfA);
    for (Fault fault : {Fault::Fail, Fault::Short}) {
        for (long n = 1; n <= writesOfA; ++n) {
            SCOPED_TRACE((fault == Fault::Fail ? "failing write " : "short write ") + std::to_string(n) + " of " +
                         std::to_string(writesOfA));
            FaultPlan plan;
            plan.writeFault = fault;
            plan.writeCall = n;
            expectHandled(plan, WRITE_FAILURE, true);
            if (HasFatalFailure()) return;
        }
    }
}

TEST_P(FaultInjection, EveryAllocationThatFails) {
    ASSERT_GE(allocationsOfA, 3);  // the PCM buffer, planes or windows, and more
    std::fprintf(stderr, "allocations 1 to %ld (output created after %ld)\n", allocationsOfA,
                 cleanAllocationsBeforeA);
    for (long n = 1; n <= allocationsOfA; ++n) {
        SCOPED_TRACE("failing allocation " + std::to_string(n) + " of " + std::to_string(allocationsOfA));
        FaultPlan plan;
        plan.failingAllocation = n;
        expectHandled(plan, OUT_OF_MEMORY, n > cleanAllocationsBeforeA);
        if (HasFatalFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(BothPrograms, FaultInjection, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "qortafir" : "qortaiir");
                         });

}  // namespace
