#include "qorta/report.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "qorta/sample_format.h"

namespace qorta {

namespace {

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::string decibels(double level) {
    if (!(level > 0.0)) return "-inf";
    return format("%+.2f", 20.0 * std::log10(level));
}

std::string duration(const FileStats& s) {
    if (s.sampleRate <= 0) return "-";
    const double seconds = static_cast<double>(s.frames) / s.sampleRate;
    const long whole = static_cast<long>(seconds);
    char text[64];
    std::snprintf(text, sizeof text, "%ld:%02ld:%04.1f", whole / 3600, whole / 60 % 60, seconds - (whole / 60) * 60.0);
    return text;
}

std::string dcText(const FileStats& s) {
    std::string text;
    for (std::size_t c = 0; c < s.dcOffset.size(); ++c) {
        if (c > 0) text += ",";
        text += format("%+.4f%%", s.dcOffset[c] * 100.0);
    }
    return text.empty() ? "-" : text;
}

std::string formats(const FileStats& s) {
    if (s.inputFormat == 0) return "-";
    const std::string in = formatName(s.inputFormat);
    const std::string out = formatName(s.outputFormat);
    return in == out ? in : in + ">" + out;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string jsonNumber(double value) {
    if (!std::isfinite(value)) return "null";
    return format("%.17g", value);
}

std::string jsonDecibels(double level) {
    if (!(level > 0.0) || !std::isfinite(level)) return "null";
    return format("%.6f", 20.0 * std::log10(level));
}

}  // namespace

double suggestedPeak(const FileStats& stats) {
    return codingOf(stats.outputFormat).kind == SampleKind::Integer ? -0.1 : 0.0;
}

std::string reportTable(const std::vector<ReportEntry>& entries) {
    std::vector<std::vector<std::string>> rows;
    rows.push_back({"file", "format", "duration", "dc offset", "peak in", "peak out", "clipped", "peak gain",
                    "time", "result"});
    for (const ReportEntry& e : entries) {
        const FileStats& s = e.result.stats;
        const bool ran = s.inputFormat != 0 && !s.dcOffset.empty();
        rows.push_back({e.input, formats(s), ran ? duration(s) : "-", ran ? dcText(s) : "-",
                        ran ? decibels(s.peakIn) : "-", e.result.written ? decibels(s.peakOut) : "-",
                        e.result.written ? std::to_string(s.clipped) : "-",
                        e.result.written && s.peakGainSet ? decibels(s.peakGain) + " dB" : "-",
                        format("%.2fs", e.result.seconds), e.result.written ? "written" : "failed"});
    }
    std::vector<std::size_t> width(rows[0].size(), 0);
    for (const auto& row : rows)
        for (std::size_t i = 0; i < row.size(); ++i) width[i] = std::max(width[i], row[i].size());
    std::string text;
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            const bool right = i >= 2 && i <= 8;
            const std::string pad(width[i] - row[i].size(), ' ');
            line += right ? pad + row[i] : row[i] + (i + 1 < row.size() ? pad : "");
            if (i + 1 < row.size()) line += "  ";
        }
        text += line + "\n";
    }
    for (const ReportEntry& e : entries)
        if (e.result.written && e.result.stats.clipped > 0)
            text += e.input + ": " + std::to_string(e.result.stats.clipped) +
                    " samples clipped; --peak " + format("%.1f", suggestedPeak(e.result.stats)) +
                    " would have avoided it\n";
    return text;
}

std::string reportJson(const std::vector<ReportEntry>& entries) {
    std::string text = "{\n  \"files\": [";
    int written = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const ReportEntry& e = entries[i];
        const FileStats& s = e.result.stats;
        written += e.result.written ? 1 : 0;
        text += i == 0 ? "\n" : ",\n";
        text += "    {\"input\": " + jsonString(e.input) + ", \"output\": " + jsonString(e.output);
        text += ", \"written\": " + std::string(e.result.written ? "true" : "false");
        if (!e.result.error.empty()) text += ", \"error\": " + jsonString(e.result.error);
        if (s.inputFormat != 0) {
            text += ", \"input_format\": " + jsonString(formatName(s.inputFormat));
            text += ", \"output_format\": " + jsonString(formatName(s.outputFormat));
            text += ", \"channels\": " + std::to_string(s.channels);
            text += ", \"sample_rate\": " + std::to_string(s.sampleRate);
            text += ", \"frames\": " + std::to_string(s.frames);
            text += ", \"duration_s\": " + jsonNumber(s.sampleRate > 0 ? static_cast<double>(s.frames) / s.sampleRate : 0.0);
        }
        if (!s.dcOffset.empty()) {
            text += ", \"dc_offset\": [";
            for (std::size_t c = 0; c < s.dcOffset.size(); ++c)
                text += (c > 0 ? ", " : "") + jsonNumber(s.dcOffset[c]);
            text += "], \"peak_in_dbfs\": " + jsonDecibels(s.peakIn);
        }
        if (e.result.written) {
            text += ", \"peak_out_dbfs\": " + jsonDecibels(s.peakOut);
            text += ", \"clipped\": " + std::to_string(s.clipped);
            text += ", \"peak_gain_db\": " + (s.peakGainSet ? jsonDecibels(s.peakGain) : std::string("null"));
            text += ", \"suggested_peak_db\": " + (s.clipped > 0 ? format("%.1f", suggestedPeak(s)) : std::string("null"));
        }
        text += ", \"seconds\": " + format("%.3f", e.result.seconds) + "}";
    }
    text += entries.empty() ? "],\n" : "\n  ],\n";
    text += "  \"written\": " + std::to_string(written) +
            ", \"failed\": " + std::to_string(entries.size() - static_cast<std::size_t>(written)) + "\n}\n";
    return text;
}

}  // namespace qorta
