// The fixture of the qorta end-to-end tests: a scratch folder, the real
// tools that make inputs and check outputs, libsndfile to read samples
// back, and the reference computation of a whole file run straight from
// dsp/ (whole-file arrays, the reference convolution, no fast form).
#ifndef QORTA_TESTS_QORTA_QORTA_FIXTURE_H
#define QORTA_TESTS_QORTA_QORTA_FIXTURE_H

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/program_runner.h"
#include "tests/support/temp_dir.h"

namespace qortatest {

struct Audio {
    bool ok = false;
    SF_INFO info = {};
    std::vector<std::int32_t> ints;   // every sample, left-justified (sf_readf_int)
    std::vector<double> doubles;      // every sample as sf_readf_double gives it
};

// Reads the whole of `path` with libsndfile.
Audio readAudio(const std::string& path);

struct ReferenceSettings {
    bool iir = false;
    double effect = 100.0, gain = 100.0;
    int fadeIn = 0, fadeOut = 0, quality = 100;
};

// The corrected values of `input` (1.0 = full scale, interleaved), before
// conversion to the output's samples: its DC offset removed, the
// corrector, fades and gain, computed sample by sample.
std::vector<double> referenceValues(const Audio& input, const ReferenceSettings& settings);

// `values` converted to integer samples of `bits` bits, truncated and
// saturated, then left-justified as libsndfile's int calls give them.
std::vector<std::int32_t> referenceIntegers(const std::vector<double>& values, int bits);

// The bytes of the "data" chunk of a RIFF WAVE file.
testsupport::Bytes wavData(const testsupport::Bytes& file);

class QortaRun : public ::testing::Test {
protected:
    void SetUp() override;

    // Runs qorta (or another built program) in the scratch folder.
    testsupport::RunResult qorta(const std::vector<std::string>& args, int timeout = 120);
    testsupport::RunResult program(const std::string& path, const std::vector<std::string>& args);
    // Runs a tool found in PATH in the scratch folder and expects success;
    // skips the test when the tool is missing.
    void tool(const std::string& name, const std::vector<std::string>& args);
    std::string toolOutput(const std::string& name, const std::vector<std::string>& args);
    std::string path(const std::string& name) const { return dir.file(name); }
    bool exists(const std::string& name) const { return testsupport::pathExists(dir.file(name)); }
    // The names in the scratch folder (and below `sub`) that start with a dot.
    std::vector<std::string> hiddenFiles(const std::string& sub = "") const;

    testsupport::TempDir dir;
};

}  // namespace qortatest

#endif
