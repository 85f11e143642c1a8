// The filter tables of both plug-in files as the host sees them after
// loading them: every value, every empty slot, and the Shift-JIS information text.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <cstring>

#include "tests/plugin/plugin_test_support.h"

namespace {

// The system's own conversion of UTF-8 text to code page 932.
#ifdef _WIN32
std::string toShiftJis(const std::string& utf8) {
    std::wstring wide(utf8.size(), L'\0');
    int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), static_cast<int>(utf8.size()),
                                    wide.data(), static_cast<int>(wide.size()));
    EXPECT_GT(units, 0);
    std::string out(utf8.size() * 2, '\0');
    int bytes = WideCharToMultiByte(932, 0, wide.data(), units, out.data(), static_cast<int>(out.size()), nullptr,
                                    nullptr);
    EXPECT_GT(bytes, 0);
    return out.substr(0, bytes > 0 ? static_cast<std::size_t>(bytes) : 0);
}
#else
std::string toShiftJis(std::string utf8) {
    iconv_t converter = iconv_open("CP932", "UTF-8");
    std::string out(utf8.size() * 2, '\0');
    char* in = utf8.data();
    char* to = out.data();
    std::size_t inLeft = utf8.size();
    std::size_t outLeft = out.size();
    EXPECT_EQ(iconv(converter, &in, &inLeft, &to, &outLeft), 0u);
    iconv_close(converter);
    return out.substr(0, out.size() - outLeft);
}
#endif

void expectTable(const char* path, const char* name, std::vector<std::string> tracks,
                 std::vector<std::int32_t> defaults, const char* information) {
    plugintest::PluginHost host(path);
    const FilterTable& table = *host.plugin.table;
    EXPECT_EQ(table.flags, 0x00240800);
    EXPECT_STREQ(table.name, name);
    ASSERT_EQ(table.trackCount, static_cast<std::int32_t>(tracks.size()));
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        EXPECT_EQ(table.trackNames[i], tracks[i]);
        EXPECT_EQ(table.trackDefaults[i], defaults[i]);
    }
    EXPECT_EQ(std::strlen(table.informationText), 41u);
    EXPECT_EQ(table.informationText, toShiftJis(information));
    EXPECT_TRUE(table.processCallback && table.exitCallback && table.saveStartCallback && table.saveEndCallback);

    // Blank the slots with values (a byte copy keeps the padding); every
    // byte left, the host's track values and services included, is zero.
    FilterTable blank;
    std::memcpy(&blank, &table, sizeof blank);
    blank.flags = blank.trackCount = 0;
    blank.name = blank.informationText = nullptr;
    blank.trackNames = nullptr;
    blank.trackDefaults = nullptr;
    blank.processCallback = nullptr;
    blank.exitCallback = nullptr;
    blank.saveStartCallback = nullptr;
    blank.saveEndCallback = nullptr;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&blank);
    for (std::size_t i = 0; i < sizeof blank; ++i) EXPECT_EQ(bytes[i], 0) << "byte " << i;

    auto getFilterTable = reinterpret_cast<GetFilterTableFunction>(host::findExport(host.plugin, "GetFilterTable"));
    EXPECT_EQ(getFilterTable(), &table);
    EXPECT_EQ(getFilterTable(), &table);
}

TEST(FilterTableTest, IirTableHoldsExactlyItsValues) {
    expectTable(QORTAIIR_AUF_PATH, "QORTA-Bass(IIR)", {"Effect", "Gain", "FadeIn", "FadeOut"}, {100, 100, 0, 0},
                "PC-QORTA/PCI低音増強 IIR-0.01 by カルドル");
}

TEST(FilterTableTest, FirTableHoldsExactlyItsValues) {
    expectTable(QORTAFIR_AUF_PATH, "QORTA-Bass(FIR)", {"Quality", "Effect", "Gain", "FadeIn", "FadeOut"},
                {100, 100, 100, 0, 0}, "PC-QORTA/PCI低音増強 FIR-0.01 by カルドル");
}

}  // namespace
