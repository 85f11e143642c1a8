// A platform for tests: the POSIX services behind platform.h, with one
// injected fault (the N-th read or the N-th write fails or comes back
// short, or the N-th allocation fails) and a record of what the files and
// the memory went through, so that tests can check what a program does
// when a disk fails or memory runs out at any point of a run.
//
// Link this library instead of qorta_platform. It wraps the POSIX
// implementation, which it compiles under another namespace.
#ifndef QORTA_TESTS_HARDENING_FAULT_PLATFORM_H
#define QORTA_TESTS_HARDENING_FAULT_PLATFORM_H

#include <cstdint>
#include <map>
#include <string>

namespace faults {

enum class Fault {
    None,
    Fail,   // the call reports failure and moves no byte
    Short,  // the call moves half the bytes asked for (rounded down) and reports that count
};

// Which call gets the fault; calls are counted from 1 over all files.
struct FaultPlan {
    Fault readFault = Fault::None;
    long readCall = 0;
    Fault writeFault = Fault::None;
    long writeCall = 0;
    long failingAllocation = 0;  // allocateMemory call that returns null; 0 = none
};

// What happened since the plan was armed.
struct Record {
    long reads = 0;    // readFile calls
    long writes = 0;   // writeFile calls
    long opened = 0;   // valid handles handed out by openInputFile and createOutputFile
    long closed = 0;   // of those, handles closed again
    long allocations = 0;  // allocateMemory calls
    long allocated = 0;    // of those, the ones that returned memory
    long released = 0;     // releaseMemory calls with memory
    bool faultStruck = false;
    // Bytes written to standard output when the fault struck (standard
    // output must then be a regular file), else -1.
    long stdoutAtFault = -1;
    // Per output path: the readFile and allocateMemory calls made before it
    // was created, and the bytes the writes to it reported as written.
    std::map<std::string, long> readsBeforeCreate;
    std::map<std::string, long> allocationsBeforeCreate;
    std::map<std::string, std::uint64_t> bytesWritten;
};

// Starts counting afresh with `plan`.
void arm(const FaultPlan& plan);

// The record since the last arm.
const Record& record();

}  // namespace faults

#endif
