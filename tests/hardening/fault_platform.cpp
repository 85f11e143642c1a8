#include "tests/hardening/fault_platform.h"

#include <cstddef>
#include <cstdio>
#include <unistd.h>

#include "platform/platform.h"

// The POSIX file and memory services, compiled in this library with their
// namespace renamed (see CMakeLists.txt), so that the services below can
// wrap them.
// These declarations repeat those of platform.h in that namespace.
namespace posix_platform {
struct FileHandle {
    std::intptr_t value;
};
struct FileIdentity {
    std::uint64_t volume;
    std::uint64_t index;
};
enum class CreateMode { CreateNew, CreateAlways };
enum class SeekOrigin { Begin, Current };
bool isValid(FileHandle file);
FileHandle openInputFile(const char* path);
bool outputExists(const char* path, FileHandle input);
FileHandle createOutputFile(const char* path, CreateMode mode, FileHandle input);
bool readFile(FileHandle file, void* buffer, std::uint32_t count, std::uint32_t* delivered);
bool writeFile(FileHandle file, const void* buffer, std::uint32_t count, std::uint32_t* written);
std::int64_t seekFile(FileHandle file, std::int64_t distance, SeekOrigin origin);
void closeFile(FileHandle file);
bool fileIdentity(const char* path, FileIdentity* identity);
std::int64_t regularFileSize(FileHandle file);
bool truncateFile(FileHandle file, std::int64_t size);
bool writeFileAt(FileHandle file, std::int64_t position, const void* buffer, std::uint32_t count);
void* allocateMemory(std::size_t bytes);
void releaseMemory(void* memory, std::size_t bytes);
}  // namespace posix_platform

namespace {

posix_platform::FileHandle posix(platform::FileHandle file) { return {file.value}; }
platform::FileHandle ours(posix_platform::FileHandle file) { return {file.value}; }

}  // namespace

namespace faults {
namespace {

FaultPlan armed;
Record log;
std::map<std::intptr_t, std::string> outputs;  // open output handles and their paths

void noteFault() {
    log.faultStruck = true;
    std::fflush(stdout);
    log.stdoutAtFault = static_cast<long>(lseek(STDOUT_FILENO, 0, SEEK_CUR));
}

}  // namespace

void arm(const FaultPlan& plan) {
    armed = plan;
    log = Record();
    outputs.clear();
}

const Record& record() { return log; }

}  // namespace faults

namespace platform {

using faults::Fault;

FileHandle invalidFile() { return FileHandle{-1}; }

bool isValid(FileHandle file) { return posix_platform::isValid(posix(file)); }

FileHandle openInputFile(const char* path) {
    FileHandle file = ours(posix_platform::openInputFile(path));
    if (isValid(file)) ++faults::log.opened;
    return file;
}

bool fileIdentity(const char* path, FileIdentity* identity) {
    posix_platform::FileIdentity found;
    if (!posix_platform::fileIdentity(path, &found)) return false;
    *identity = FileIdentity{found.volume, found.index};
    return true;
}

bool outputExists(const char* path, FileHandle input) { return posix_platform::outputExists(path, posix(input)); }

FileHandle createOutputFile(const char* path, CreateMode mode, FileHandle input) {
    const auto posixMode =
        mode == CreateMode::CreateNew ? posix_platform::CreateMode::CreateNew : posix_platform::CreateMode::CreateAlways;
    FileHandle file = ours(posix_platform::createOutputFile(path, posixMode, posix(input)));
    if (isValid(file)) {
        ++faults::log.opened;
        faults::outputs[file.value] = path;
        faults::log.readsBeforeCreate[path] = faults::log.reads;
        faults::log.allocationsBeforeCreate[path] = faults::log.allocations;
        faults::log.bytesWritten.emplace(path, 0);
    }
    return file;
}

bool readFile(FileHandle file, void* buffer, std::uint32_t count, std::uint32_t* delivered) {
    const long call = ++faults::log.reads;
    if (faults::armed.readFault == Fault::None || call != faults::armed.readCall)
        return posix_platform::readFile(posix(file), buffer, count, delivered);
    faults::noteFault();
    if (faults::armed.readFault == Fault::Fail) return false;
    return posix_platform::readFile(posix(file), buffer, count / 2, delivered);
}

bool writeFile(FileHandle file, const void* buffer, std::uint32_t count, std::uint32_t* written) {
    const long call = ++faults::log.writes;
    bool ok;
    if (faults::armed.writeFault == Fault::None || call != faults::armed.writeCall) {
        ok = posix_platform::writeFile(posix(file), buffer, count, written);
    } else {
        faults::noteFault();
        ok = faults::armed.writeFault == Fault::Short && posix_platform::writeFile(posix(file), buffer, count / 2, written);
    }
    auto output = faults::outputs.find(file.value);
    if (ok && output != faults::outputs.end()) faults::log.bytesWritten[output->second] += *written;
    return ok;
}

std::int64_t seekFile(FileHandle file, std::int64_t distance, SeekOrigin origin) {
    return posix_platform::seekFile(
        posix(file), distance,
        origin == SeekOrigin::Begin ? posix_platform::SeekOrigin::Begin : posix_platform::SeekOrigin::Current);
}

void closeFile(FileHandle file) {
    if (isValid(file)) {
        ++faults::log.closed;
        faults::outputs.erase(file.value);
    }
    posix_platform::closeFile(posix(file));
}

// Fitting a cut-off output: not counted as a write, so that the writes of a
// run stay those of its header and samples.
std::int64_t regularFileSize(FileHandle file) { return posix_platform::regularFileSize(posix(file)); }

bool truncateFile(FileHandle file, std::int64_t size) { return posix_platform::truncateFile(posix(file), size); }

bool writeFileAt(FileHandle file, std::int64_t position, const void* buffer, std::uint32_t count) {
    return posix_platform::writeFileAt(posix(file), position, buffer, count);
}

void* allocateMemory(std::size_t bytes) {
    const long call = ++faults::log.allocations;
    if (call == faults::armed.failingAllocation) {
        faults::noteFault();
        return nullptr;
    }
    void* memory = posix_platform::allocateMemory(bytes);
    if (memory != nullptr) ++faults::log.allocated;
    return memory;
}

void releaseMemory(void* memory, std::size_t bytes) {
    if (memory != nullptr) ++faults::log.released;
    posix_platform::releaseMemory(memory, bytes);
}

}  // namespace platform
