// What can go wrong while one file is corrected, and the one line the
// console prints for each outcome. The header reader and writer, the block
// I/O, the stage hooks and the output creation return these codes; only
// processFile prints them.
#ifndef QORTA_CONSOLE_FILE_RESULT_H
#define QORTA_CONSOLE_FILE_RESULT_H

namespace console {

enum class FileResult {
    Ok,                 // the step succeeded
    CannotOpenToRead,   // the input is missing, no regular file, or cannot be opened
    IllegalFormat,      // the header is no RIFF WAVE PCM header, or names a format the driver cannot process
    QualityOutOfRange,  // the FIR kernel of this quality and sample rate does not fit the window
    CannotRead,         // a read of samples or a seek in the input failed, or delivered fewer bytes
    CannotOpenToWrite,  // the output cannot be created, or names an input of the batch
    CannotWrite,        // a write failed or wrote fewer bytes
    OutOfMemory,        // a buffer could not be allocated
    Declined,           // the user declined to overwrite the output (or gave no answer)
};

// The line processFile prints for `result`, line break included; the empty
// text for Ok and Declined, which print nothing.
const char* fileResultMessage(FileResult result);

}  // namespace console

#endif
