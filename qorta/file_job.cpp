#include "qorta/file_job.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

#include "qorta/input_file.h"
#include "qorta/metadata.h"
#include "qorta/output_commit.h"
#include "qorta/sample_format.h"

namespace qorta {

namespace {

struct OpenContext {
    const JobSpec* job;
    const Settings* settings;
    SNDFILE* in;
    SF_INFO info;
    PendingOutput pending;
    SNDFILE* out = nullptr;
};

// Makes the folders of `path` below `root`, which must exist already: the
// sub-folders that -o DIR mirrors.
void makeSubFolders(const std::string& root, const std::string& path) {
    struct stat st;
    if (root.empty() || stat(root.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return;
    for (std::size_t slash = path.find('/', root.size() + 1); slash != std::string::npos;
         slash = path.find('/', slash + 1))
        mkdir(path.substr(0, slash).c_str(), 0777);
}

SNDFILE* openOutput(void* context, std::string* error) {
    auto* c = static_cast<OpenContext*>(context);
    int fd = 1;
    if (c->job->output != "-") {
        makeSubFolders(c->job->outputRoot, c->job->output);
        *error = createPending(c->job->output, &c->pending);
        if (!error->empty()) return nullptr;
        fd = c->pending.fd;
    }
    SF_INFO info = c->info;
    c->out = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
    if (c->out == nullptr) {
        *error = "cannot write " + formatName(c->info.format) + " to " +
                 (c->job->output == "-" ? std::string("standard output") : c->job->output) + ": " +
                 sf_strerror(nullptr);
        discardPending(&c->pending);
        return nullptr;
    }
    // Coded outputs clip in libsndfile rather than wrap around.
    if (codingOf(c->info.format).kind == SampleKind::Coded) sf_command(c->out, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    copyMetadata(c->in, c->out, *c->settings, c->info.format, c->info.samplerate, c->info.channels);
    return c->out;
}

}  // namespace

int outputFormatFor(int inputFormat, int format, std::int64_t frames, int channels) {
    int result = format != 0 ? format : (inputFormat & (SF_FORMAT_TYPEMASK | SF_FORMAT_SUBMASK));
    const int major = result & SF_FORMAT_TYPEMASK;
    if (major == SF_FORMAT_WAV || major == SF_FORMAT_WAVEX) {
        const SampleCoding coding = codingOf(result);
        const int bytes = coding.kind == SampleKind::Integer ? coding.bits / 8
                          : coding.kind == SampleKind::Float64 ? 8 : 4;
        // Room for the header and the metadata chunks besides the samples.
        const long double size = static_cast<long double>(frames) * channels * bytes + (1 << 20);
        if (size > 4294967295.0L) result = SF_FORMAT_RF64 | (result & SF_FORMAT_SUBMASK);
    }
    return result;
}

JobResult runJob(const JobSpec& job, const Settings& settings, std::atomic<std::int64_t>* progress,
                 std::atomic<std::int64_t>* total) {
    JobResult result;
    const auto start = std::chrono::steady_clock::now();
    InputFile input;
    result.error = openInput(job.input, &input);
    if (result.error.empty()) {
        if (total != nullptr) total->store(input.info.frames * passCount(settings));
        OpenContext context;
        context.job = &job;
        context.settings = &settings;
        context.in = input.file;
        context.info = input.info;
        context.info.format = outputFormatFor(input.info.format, job.format, input.info.frames, input.info.channels);
        context.info.frames = 0;
        const OutputOpener opener = {openOutput, &context};
        result.error = correctFile(input.file, input.info, input.extras, context.info.format, settings, opener,
                                   &result.stats, progress);
        if (context.out != nullptr) {
            if (result.error.empty()) sf_write_sync(context.out);
            const int closed = sf_close(context.out);
            if (result.error.empty() && closed != 0)
                result.error = std::string("cannot finish the output: ") + sf_error_number(closed);
        }
        if (context.pending.fd >= 0) {
            if (result.error.empty()) result.error = commitPending(&context.pending, job.overwrite);
            else discardPending(&context.pending);
        }
        result.written = result.error.empty();
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

}  // namespace qorta
