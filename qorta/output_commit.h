// Outputs are written to a temporary file in the output's folder and
// renamed into place only when complete and flushed. Every temporary file
// is registered, so that the handler of SIGINT, SIGTERM and SIGHUP can
// remove them before the program ends with the signal.
#ifndef QORTA_QORTA_OUTPUT_COMMIT_H
#define QORTA_QORTA_OUTPUT_COMMIT_H

#include <string>

namespace qorta {

struct PendingOutput {
    std::string finalPath;
    std::string tempPath;
    int fd = -1;
    int slot = -1;
};

// Installs the handler for SIGINT, SIGTERM and SIGHUP.
void installSignalCleanup();

// Creates the temporary file for `finalPath` in its folder. Returns "" or
// what went wrong.
std::string createPending(const std::string& finalPath, PendingOutput* pending);

// Flushes the temporary file to the disk and renames it to its final name;
// without `overwrite` an existing file of that name is left alone and the
// call fails. The temporary file is gone afterwards in every case. Returns
// "" or what went wrong.
std::string commitPending(PendingOutput* pending, bool overwrite);

// Removes the temporary file. Safe to call more than once.
void discardPending(PendingOutput* pending);

// Registers a temporary file that another part made (standard input's
// copy), so that a signal removes it too; returns its slot or -1.
int registerTemporary(const std::string& path);
void unregisterTemporary(int slot);

}  // namespace qorta

#endif
