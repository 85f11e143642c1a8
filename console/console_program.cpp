#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "console/console_program.h"
#include "console/number_parse.h"
#include "console/output_header.h"
#include "console/process_file.h"
#include "platform/platform.h"
#include "platform/wav_name.h"

namespace console {

namespace {

// Folder names beyond this many are dropped; three are already an error.
constexpr std::size_t MAX_FOLDERS = 3;

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoringCase(const char* text, const char* option) {
    for (; *text != '\0' && *option != '\0'; ++text, ++option)
        if (lower(*text) != *option) return false;
    return *text == '\0' && *option == '\0';
}

struct Arguments {
    std::vector<std::string> files;
    std::vector<std::string> folders;
};

// Takes the value of a value option into `settings`. Returns false when
// `option` is not one.
bool takeValueOption(const ConsoleProgram& program, const char* option, const char* value,
                     CorrectorSettings& settings) {
    if (program.hasQualityOption && equalsIgnoringCase(option, "-q")) {
        settings.quality = parseInteger(value);
        if (settings.quality > 300) settings.quality = 300;
    } else if (equalsIgnoringCase(option, "-e")) {
        settings.effect = parseReal(value);
    } else if (equalsIgnoringCase(option, "-g")) {
        settings.gain = parseReal(value);
    } else if (equalsIgnoringCase(option, "-i")) {
        settings.fadeIn = parseInteger(value);
    } else if (equalsIgnoringCase(option, "-o")) {
        settings.fadeOut = parseInteger(value);
    } else {
        return false;
    }
    return true;
}

// The option and classification pass. Returns false when a WAV file name
// follows a folder name.
bool classify(const ConsoleProgram& program, int argc, char** argv, CorrectorSettings& settings,
              Arguments& arguments) {
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (i + 1 < argc && takeValueOption(program, argument, argv[i + 1], settings)) {
            ++i;
        } else if (equalsIgnoringCase(argument, "-y")) {
            settings.overwrite = true;
        } else if (equalsIgnoringCase(argument, "-n")) {
            settings.showProgress = false;
        } else if (platform::hasWavEnding(argument)) {
            if (!arguments.folders.empty()) return false;
            arguments.files.push_back(argument);
        } else if (arguments.folders.size() < MAX_FOLDERS) {
            arguments.folders.push_back(argument);
        }
    }
    return true;
}

// The identities of the batch's input files that exist, taken before the
// first output is written.
BatchInputs identitiesOf(const std::vector<std::string>& paths) {
    BatchInputs inputs;
    for (const std::string& path : paths) {
        platform::FileIdentity identity;
        if (platform::fileIdentity(path.c_str(), &identity)) inputs.push_back(identity);
    }
    return inputs;
}

void runSingleFile(const ConsoleProgram& program, const CorrectorSettings& settings, const std::string& input) {
    std::string output = input.substr(0, input.size() - 4) + "_b.wav";
    std::printf("input file:%s\noutput file:%s\n", input.c_str(), output.c_str());
    processFile(*program.stage, settings, input.c_str(), output.c_str(), identitiesOf({input}));
}

void runFilePair(const ConsoleProgram& program, const CorrectorSettings& settings, const std::string& input,
                 const std::string& output) {
    std::printf("input file:%s\noutput file:%s\n", input.c_str(), output.c_str());
    processFile(*program.stage, settings, input.c_str(), output.c_str(), identitiesOf({input}));
}

void runMultiFile(const ConsoleProgram& program, const CorrectorSettings& settings,
                  const std::vector<std::string>& files, const std::string& folder) {
    std::printf("input file:");
    for (const std::string& file : files) std::printf("%s ", file.c_str());
    std::printf("\noutput dir:%s\n", folder.c_str());
    std::string outputFolder = folder;
    platform::addSeparator(outputFolder);
    const BatchInputs inputs = identitiesOf(files);
    for (const std::string& file : files) {
        std::string name;
        if (!platform::fileNamePart(file, &name)) {
            std::printf("ERROR! illegal filename \"%s\"\n", file.c_str());
            continue;
        }
        processFile(*program.stage, settings, file.c_str(), (outputFolder + name).c_str(), inputs);
    }
}

void runFolderToFolder(const ConsoleProgram& program, const CorrectorSettings& settings,
                       const std::string& inputFolder, const std::string& outputFolder) {
    std::printf("input dir:%s\noutput dir:%s\n", inputFolder.c_str(), outputFolder.c_str());
    std::string input = inputFolder;
    std::string output = outputFolder;
    platform::addSeparator(input);
    platform::addSeparator(output);
    std::vector<platform::FolderEntry> entries;
    if (!platform::listWavEntries(input, &entries)) {
        // A mistyped or unreadable folder is an error; a folder without WAV
        // files is an empty batch.
        std::printf("ERROR! cannot open dir to read\n");
        return;
    }
    std::vector<std::string> files;
    for (const platform::FolderEntry& entry : entries)
        if (!entry.isDirectory) files.push_back(input + entry.name);
    const BatchInputs inputs = identitiesOf(files);
    for (const platform::FolderEntry& entry : entries) {
        if (entry.isDirectory) continue;
        processFile(*program.stage, settings, (input + entry.name).c_str(), (output + entry.name).c_str(), inputs);
    }
}

// Prints the usage text. It is stored the way a format string without
// arguments is written, so "%%" prints as "%"; printing it character by
// character keeps any other "%" from being taken for a conversion.
void printUsage(const ConsoleProgram& program) {
    for (const char* p = program.usage; *p != '\0'; ++p) {
        if (p[0] == '%' && p[1] == '%') ++p;
        std::putchar(*p);
    }
}

void printIllegalNames(const ConsoleProgram& program) {
    std::printf("ERROR : illegal filename or dir.\n");
    printUsage(program);
}

}  // namespace

int roundForDisplay(double value) {
    if (value != value) return 0;
    double shown = std::round(value);  // halves away from zero
    if (shown <= -2147483648.0) return -2147483647 - 1;
    if (shown >= 2147483647.0) return 2147483647;
    return static_cast<int>(shown);
}

int runConsoleProgram(const ConsoleProgram& program, int argc, char** argv) {
    // Before any file is opened, so that no output takes the place of a
    // closed standard output and receives the program's text.
    platform::openStandardStreams();
    fitOutputOnInterruption();
    std::printf("%s", program.banner);
    if (argc < 2) {
        printUsage(program);
        return 0;
    }
    CorrectorSettings settings;
    Arguments arguments;
    if (!classify(program, argc, argv, settings, arguments)) {
        printIllegalNames(program);
        return 0;
    }
    const std::size_t folders = arguments.folders.size();
    const std::size_t files = arguments.files.size();
    if (folders == 0 && files == 0) {
        printUsage(program);
        return 0;
    }
    bool singleFile = folders == 0 && files == 1;
    bool filePair = folders == 0 && files == 2;
    bool multiFile = folders == 1 && files >= 1;
    bool folderToFolder = folders == 2 && files == 0;
    if (!singleFile && !filePair && !multiFile && !folderToFolder) {
        printIllegalNames(program);
        return 0;
    }
    program.printSettings(settings);
    if (singleFile) runSingleFile(program, settings, arguments.files[0]);
    if (filePair) runFilePair(program, settings, arguments.files[0], arguments.files[1]);
    if (multiFile) runMultiFile(program, settings, arguments.files, arguments.folders[0]);
    if (folderToFolder) runFolderToFolder(program, settings, arguments.folders[0], arguments.folders[1]);
    return 0;
}

}  // namespace console
