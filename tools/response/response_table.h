// The response curves as a CSV table: one row per frequency, one column of
// levels in dB per curve.
#ifndef QORTA_TOOLS_RESPONSE_TABLE_H
#define QORTA_TOOLS_RESPONSE_TABLE_H

#include <string>
#include <vector>

namespace response {

// Writes the header line "frequency_hz" followed by one quoted column title
// per label ("<label> dB", with any double quote doubled), then one line
// per frequency: the frequency and each curve's level, with up to 10
// significant digits; a level that is not finite (the -infinity of an exact
// zero) is left empty. Lines end in "\n".
// Returns 0, or -1 (and leaves `*csv` unchanged) when `levels` does not
// hold one column per label, each as long as `frequencies`.
int renderCsv(const std::vector<double>& frequencies, const std::vector<std::string>& labels,
              const std::vector<std::vector<double>>& levels, std::string* csv);

}  // namespace response

#endif
