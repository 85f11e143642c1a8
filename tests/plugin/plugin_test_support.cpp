#include "tests/plugin/plugin_test_support.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "dsp/fir_corrector.h"
#include "dsp/iir_corrector.h"

namespace plugintest {

PluginHost::PluginHost(const char* path) {
    std::string error;
    if (host::loadPlugin(path, &plugin, &error) != 0) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::abort();
    }
    host::openSession(session, *plugin.table, edit);
}

PluginHost::~PluginHost() {
    host::endSave(session);
    host::exitPlugin(session);
    host::unloadPlugin(&plugin);
}

void PluginHost::setAudio(std::int32_t rate, std::int32_t channels, Samples samples,
                          const std::vector<std::int32_t>& lengths) {
    edit.samplingRate = rate;
    edit.channelCount = channels;
    edit.source = std::move(samples);
    edit.faults = host::HostFaults{};
    edit.readRequests.clear();
    ASSERT_TRUE(host::cutIntoFrames(edit, lengths));
}

void PluginHost::setTrack(const char* name, std::int32_t value) {
    const int index = host::findTrack(session, name);
    ASSERT_GE(index, 0) << name;
    session.trackValues[index] = value;
}

Samples PluginHost::process(std::int32_t k) {
    Samples audio = frameOf(edit.source, k);
    EXPECT_EQ(host::processFrame(session, k, audio.data()), 1);
    return audio;
}

Samples PluginHost::frameOf(const Samples& samples, std::int32_t k) const {
    const auto first = samples.begin() + edit.frameStarts[k] * edit.channelCount;
    return Samples(first, first + host::frameSamples(edit, k) * edit.channelCount);
}

Samples testSignal(std::int64_t frames, int channels, std::uint32_t seed) {
    Samples samples(static_cast<std::size_t>(frames * channels));
    std::uint32_t noise = seed * 2654435761u + 1;
    for (std::size_t j = 0; j < samples.size(); ++j) {
        noise = noise * 1664525u + 1013904223u;
        const double t = static_cast<double>(j / channels);
        const int ch = static_cast<int>(j % channels);
        samples[j] = static_cast<std::int16_t>(std::lround(700.0 * std::sin(t * (0.013 + 0.004 * ch)) +
                                                           5000.0 * std::sin(t * (0.31 + 0.05 * ch) + seed) +
                                                           static_cast<double>((noise >> 20) % 4096) - 2048.0));
    }
    for (std::size_t j = samples.size() / 3; j < samples.size() / 3 + 4 && j < samples.size(); ++j)
        samples[j] = j % 2 == 0 ? 32767 : -32768;
    return samples;
}

std::int16_t expectedSample(double v) {
    const double t = std::trunc(v);
    return static_cast<std::int16_t>(t > 32767.0 ? 32767.0 : t < -32768.0 ? -32768.0 : t);
}

std::vector<double> iirOutputs(const Samples& samples, int channels, double rate, double strength) {
    dsp::IirCorrector corrector;
    dsp::reset(corrector);
    dsp::configure(corrector, rate, strength);
    std::vector<double> out;
    for (std::size_t j = 0; j < samples.size(); ++j)
        out.push_back(dsp::process(corrector, static_cast<int>(j % channels), samples[j] / 32768.0));
    return out;
}

std::vector<double> firSums(const Samples& samples, int channels, std::int32_t n, double effect, double gain,
                            double rate) {
    std::vector<double> kernel(2 * static_cast<std::size_t>(n) + 1);
    const dsp::FirCorrector corrector = {n, kernel.data()};
    dsp::fillKernel(corrector, effect, gain, rate);
    const std::size_t frames = samples.size() / channels;
    std::vector<double> out(samples.size());
    for (int ch = 0; ch < channels; ++ch) {
        std::vector<double> padded(frames + 2 * static_cast<std::size_t>(n), 0.0);
        for (std::size_t i = 0; i < frames; ++i) padded[n + i] = samples[i * channels + ch] / 32768.0;
        for (std::size_t i = 0; i < frames; ++i) out[i * channels + ch] = dsp::convolveAt(corrector, padded.data(), n + i);
    }
    return out;
}

Samples toSamples(const std::vector<double>& values) {
    Samples out;
    for (double v : values) out.push_back(expectedSample(v * 32768.0));
    return out;
}

#ifdef _WIN32
ScratchFolder::ScratchFolder() {
    // A name no other test or process holds: the process number and a count.
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 1000 && folder.empty(); ++attempt) {
        std::string candidate = ::testing::TempDir() + "qorta_plugin_" + std::to_string(GetCurrentProcessId()) + "_" +
                                std::to_string(counter++);
        if (CreateDirectoryA(candidate.c_str(), nullptr)) folder = candidate;
    }
    EXPECT_FALSE(folder.empty());
}
#else
ScratchFolder::ScratchFolder() {
    std::string pattern = ::testing::TempDir() + "qorta_plugin_XXXXXX";
    folder = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
    EXPECT_FALSE(folder.empty());
}
#endif

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
}

void writeTestWav(const std::string& path, std::uint32_t rate, std::uint16_t channels, const Samples& samples) {
    std::vector<unsigned char> bytes;
    auto put = [&bytes](std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
    };
    auto id = [&bytes](const char* text) { bytes.insert(bytes.end(), text, text + 4); };
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    id("RIFF"), put(36 + dataBytes, 4), id("WAVE"), id("fmt "), put(16, 4), put(1, 2), put(channels, 2);
    put(rate, 4), put(rate * channels * 2, 4), put(channels * 2u, 2), put(16, 2), id("data"), put(dataBytes, 4);
    for (std::int16_t sample : samples) put(static_cast<std::uint16_t>(sample), 2);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

std::vector<unsigned char> readBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

Samples readOutputSamples(const std::string& path) {
    const std::vector<unsigned char> bytes = readBytes(path);
    Samples samples;
    for (std::size_t i = 46; i + 1 < bytes.size(); i += 2)
        samples.push_back(static_cast<std::int16_t>(bytes[i] | (bytes[i + 1] << 8)));
    return samples;
}

#ifdef _WIN32
namespace {

// One argument as the C runtime of the child splits its command line:
// quoted, with quotes and the backslashes in front of them escaped.
std::string quoted(const std::string& argument) {
    std::string text = "\"";
    std::size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        text.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
        backslashes = 0;
        text += c;
    }
    text.append(2 * backslashes, '\\');
    return text + "\"";
}

}  // namespace

int runProgram(const std::vector<std::string>& arguments, std::string* output) {
    output->clear();
    std::string command;
    for (const std::string& argument : arguments) command += quoted(argument) + " ";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return -1;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE nothing = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                                 nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothing;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process = {};
    const BOOL started =
        CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    CloseHandle(nothing);
    if (!started) {
        CloseHandle(readEnd);
        return -1;
    }
    // Read while the child runs, and what is left once it has ended: the end
    // of the pipe alone is not waited for, since under an emulated system it
    // can come late.
    char buffer[4096];
    for (bool ended = false;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr)) break;  // writer gone
        if (available > 0) {
            DWORD count = 0;
            if (!ReadFile(readEnd, buffer, std::min<DWORD>(available, sizeof buffer), &count, nullptr)) break;
            output->append(buffer, count);
            continue;
        }
        if (ended) break;
        ended = WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0;
    }
    CloseHandle(readEnd);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    // Console text comes with CRLF line ends; the tests compare lines.
    std::string text;
    for (std::size_t i = 0; i < output->size(); ++i)
        if (!((*output)[i] == '\r' && i + 1 < output->size() && (*output)[i + 1] == '\n')) text += (*output)[i];
    *output = text;
    return static_cast<int>(status);
}
#else
int runProgram(const std::vector<std::string>& arguments, std::string* output) {
    std::string command;
    for (const std::string& argument : arguments) command += "'" + argument + "' ";
    FILE* pipe = popen((command + "2>&1 </dev/null").c_str(), "r");
    if (pipe == nullptr) return -1;
    output->clear();
    char buffer[4096];
    for (std::size_t count; (count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output->append(buffer, count);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

#endif

}  // namespace plugintest
