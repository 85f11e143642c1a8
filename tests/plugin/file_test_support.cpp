#include "tests/plugin/file_test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace plugintest {
namespace {

void putU16(std::vector<unsigned char>& bytes, std::uint16_t value) {
    bytes.push_back(static_cast<unsigned char>(value));
    bytes.push_back(static_cast<unsigned char>(value >> 8));
}

void putU32(std::vector<unsigned char>& bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

void putId(std::vector<unsigned char>& bytes, const char* id) { bytes.insert(bytes.end(), id, id + 4); }

std::uint32_t getU32(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0] | (p[1] << 8) | (p[2] << 16)) | (static_cast<std::uint32_t>(p[3]) << 24);
}

std::string quoted(const std::string& argument) {
    std::string text = "'";
    for (char c : argument) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
}

}  // namespace

ScratchFolder::ScratchFolder() {
    std::string pattern = ::testing::TempDir() + "qorta_plugin_XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) {
        ADD_FAILURE() << "cannot create a scratch folder from " << pattern;
        return;
    }
    folder = buffer.data();
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    if (!folder.empty()) std::filesystem::remove_all(folder, ignored);
}

void writeTestWav(const std::string& path, std::uint32_t rate, std::uint16_t channels,
                  const std::vector<std::int16_t>& samples) {
    std::vector<unsigned char> bytes;
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    putId(bytes, "RIFF");
    putU32(bytes, 36 + dataBytes);
    putId(bytes, "WAVE");
    putId(bytes, "fmt ");
    putU32(bytes, 16);
    putU16(bytes, 1);
    putU16(bytes, channels);
    putU32(bytes, rate);
    putU32(bytes, rate * channels * 2);
    putU16(bytes, static_cast<std::uint16_t>(channels * 2));
    putU16(bytes, 16);
    putId(bytes, "data");
    putU32(bytes, dataBytes);
    for (std::int16_t sample : samples) putU16(bytes, static_cast<std::uint16_t>(sample));
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(file.good()) << path;
}

std::vector<unsigned char> readBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<std::int16_t> readWavSamples(const std::string& path) {
    const std::vector<unsigned char> bytes = readBytes(path);
    std::vector<std::int16_t> samples;
    if (bytes.size() < 12) return samples;
    for (std::size_t pos = 12; pos + 8 <= bytes.size();) {
        const std::uint32_t size = getU32(&bytes[pos + 4]);
        if (std::memcmp(&bytes[pos], "data", 4) == 0) {
            for (std::size_t i = pos + 8; i + 1 < bytes.size() && i + 1 < pos + 8 + size; i += 2)
                samples.push_back(static_cast<std::int16_t>(bytes[i] | (bytes[i + 1] << 8)));
            return samples;
        }
        pos += 8 + size;
    }
    return samples;
}

int runProgram(const std::vector<std::string>& arguments, std::string* output) {
    std::string command;
    for (const std::string& argument : arguments) command += quoted(argument) + " ";
    command += "2>&1 </dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return -1;
    output->clear();
    char buffer[4096];
    std::size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output->append(buffer, count);
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const char* hostProgramPath() { return QORTAHOST_PATH; }
const char* iirProgramPath() { return QORTAIIR_PATH; }
const char* firProgramPath() { return QORTAFIR_PATH; }

}  // namespace plugintest
