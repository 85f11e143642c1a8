// The expected console text of one file run, shared by both programs.
#include <cstdarg>
#include <cstdio>

#include "tests/support/reference_model.h"

namespace testsupport {
namespace {

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* pattern, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, pattern);
    std::vsnprintf(buffer, sizeof buffer, pattern, args);
    va_end(args);
    return buffer;
}

}  // namespace

std::string processingLine(const std::string& inputPath) {
    return "\nprocessing file \"" + inputPath + "\"\n";
}

std::string wavInfoLine(const ReferenceResult& r) {
    std::uint64_t l = r.totalFrames * 10 / (r.sampleRate / 10);
    return format("wav info: %dbit %luHz %dch %dmin %d.%02dsec\n", r.bitsPerSample,
                  static_cast<unsigned long>(r.sampleRate), r.channels, static_cast<int>(l / 100 / 60),
                  static_cast<int>(l % 6000 / 100), static_cast<int>(l % 100));
}

std::string streamingText(const ReferenceResult& r, bool showProgress) {
    std::string text;
    if (showProgress) {
        for (double done : r.progress) {
            std::string shown = format("%1.01f%%", done);
            text += shown + std::string(shown.size(), '\r');
        }
    }
    text += "\n";
    if (r.clipPeak > 1.0) text += format("WARN! Cliped (%2.02f%%)\n", r.clipPeak * 100.0);
    text += "elapse M:SS\n";
    return text;
}

std::string overwriteQuestion(const std::string& outputPath) {
    return "file \"" + outputPath + "\"already exist. overwrite?(y/n)\n";
}

std::string expectedFileText(const std::string& inputPath, const ReferenceResult& r, bool showProgress) {
    std::string text = processingLine(inputPath);
    switch (r.outcome) {
        case ReferenceOutcome::IllegalFormat:
            return text + "ERROR! illegal wav format\n";
        case ReferenceOutcome::QualityOutOfRange:
            return text + wavInfoLine(r) + "ERROR! quality out of range\n";
        case ReferenceOutcome::ReadFailure:
            return text + wavInfoLine(r) + "ERROR! cannot read file\n";
        case ReferenceOutcome::Processed:
            break;
    }
    return text + wavInfoLine(r) + streamingText(r, showProgress);
}

}  // namespace testsupport
