#include "fuzz/memory_file.h"

#include <sys/mman.h>
#include <unistd.h>

#include "fuzz/check.h"

namespace fuzz {

platform::FileHandle memoryFileWith(const std::uint8_t* data, std::size_t size) {
    static int fd = memfd_create("fuzz-input", MFD_CLOEXEC);
    check(fd >= 0, "a memory file can be created");
    check(ftruncate(fd, 0) == 0, "the memory file can be emptied");
    std::size_t done = 0;
    while (done < size) {
        ssize_t put = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        check(put > 0, "the memory file takes the input");
        done += static_cast<std::size_t>(put);
    }
    check(lseek(fd, 0, SEEK_SET) == 0, "the memory file can be rewound");
    return platform::FileHandle{fd};
}

}  // namespace fuzz
