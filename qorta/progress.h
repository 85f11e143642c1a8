// The progress line on standard error while it is a terminal: files done
// of total, the running files with their percentage, and the time left.
#ifndef QORTA_QORTA_PROGRESS_H
#define QORTA_QORTA_PROGRESS_H

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace qorta {

struct FileProgress {
    std::atomic<std::int64_t> done{0};   // frames of all passes done
    std::atomic<std::int64_t> total{0};  // frames of all passes; 0 until known
    std::atomic<int> state{0};           // 0 waiting, 1 running, 2 finished
};

// The line for `files` (names[i] is file i's name) after `seconds`.
std::string progressLine(const std::vector<FileProgress>& files, const std::vector<std::string>& names,
                         double seconds);

}  // namespace qorta

#endif
