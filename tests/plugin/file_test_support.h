// Files and programs for the tests that run the built executables: a
// scratch folder, WAV files written and read independently of the code
// under test, and a program run with its output captured.
#ifndef QORTA_TESTS_PLUGIN_FILE_TEST_SUPPORT_H
#define QORTA_TESTS_PLUGIN_FILE_TEST_SUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

namespace plugintest {

// A fresh folder for one test, removed with its files at the end.
struct ScratchFolder {
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string path(const std::string& name) const { return folder + "/" + name; }

    std::string folder;
};

// Writes a canonical 44-byte-header PCM WAV file of 16-bit samples.
void writeTestWav(const std::string& path, std::uint32_t rate, std::uint16_t channels,
                  const std::vector<std::int16_t>& samples);

// The whole file as bytes; empty when it cannot be read.
std::vector<unsigned char> readBytes(const std::string& path);

// The 16-bit samples of the "data" chunk of a WAV file (the chunk is
// searched for, so any header length works); empty when there is none.
std::vector<std::int16_t> readWavSamples(const std::string& path);

// Runs `arguments` (the program first) and returns its exit status;
// standard output and standard error go to `*output`.
int runProgram(const std::vector<std::string>& arguments, std::string* output);

// Paths of the built programs, given by the build.
const char* hostProgramPath();
const char* iirProgramPath();
const char* firProgramPath();

}  // namespace plugintest

#endif
