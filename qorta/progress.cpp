#include "qorta/progress.h"

#include <cstdio>

namespace qorta {

std::string progressLine(const std::vector<FileProgress>& files, const std::vector<std::string>& names,
                         double seconds) {
    int finished = 0;
    double doneAll = 0.0, totalAll = 0.0;
    std::string running;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const int state = files[i].state.load();
        const double done = static_cast<double>(files[i].done.load());
        const double total = static_cast<double>(files[i].total.load());
        if (state == 2) ++finished;
        if (state == 1 && total > 0) {
            const std::size_t slash = names[i].rfind('/');
            char part[32];
            std::snprintf(part, sizeof part, " %.0f%%", 100.0 * done / total);
            running += "  " + (slash == std::string::npos ? names[i] : names[i].substr(slash + 1)) + part;
        }
        if (state == 2) {
            doneAll += 1.0;
            totalAll += 1.0;
        } else {
            totalAll += 1.0;
            if (total > 0) doneAll += done / total;
        }
    }
    char head[96];
    std::snprintf(head, sizeof head, "%d/%zu done", finished, files.size());
    std::string line = head;
    line += running;
    if (doneAll > 0.0 && doneAll < totalAll) {
        const long left = static_cast<long>(seconds * (totalAll - doneAll) / doneAll + 0.5);
        char tail[48];
        std::snprintf(tail, sizeof tail, "  %ld:%02ld left", left / 60, left % 60);
        line += tail;
    }
    return line;
}

}  // namespace qorta
