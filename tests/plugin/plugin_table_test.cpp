// The filter tables of both plug-in files as the host sees them after
// dlopen: every value, every empty slot, and the Shift-JIS information text.
#include <gtest/gtest.h>
#include <dlfcn.h>
#include <iconv.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/plugin/plugin_test_support.h"

namespace {

using plugintest::PluginHost;

struct ExpectedTable {
    const char* path;
    const char* name;
    std::vector<std::string> trackNames;
    std::vector<std::int32_t> trackDefaults;
    const char* informationUtf8;
};

ExpectedTable iirTable() {
    return {plugintest::iirPluginPath(), "QORTA-Bass(IIR)", {"Effect", "Gain", "FadeIn", "FadeOut"},
            {100, 100, 0, 0}, "PC-QORTA/PCI低音増強 IIR-0.01 by カルドル"};
}

ExpectedTable firTable() {
    return {plugintest::firPluginPath(), "QORTA-Bass(FIR)", {"Quality", "Effect", "Gain", "FadeIn", "FadeOut"},
            {100, 100, 100, 0, 0}, "PC-QORTA/PCI低音増強 FIR-0.01 by カルドル"};
}

// The system's own conversion of UTF-8 text to code page 932.
std::string toShiftJis(const char* utf8) {
    iconv_t converter = iconv_open("CP932", "UTF-8");
    if (converter == reinterpret_cast<iconv_t>(-1)) converter = iconv_open("SHIFT_JIS", "UTF-8");
    EXPECT_NE(converter, reinterpret_cast<iconv_t>(-1));
    std::vector<char> in(utf8, utf8 + std::strlen(utf8));
    std::vector<char> out(in.size() * 2 + 4);
    char* inPtr = in.data();
    char* outPtr = out.data();
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    EXPECT_NE(iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft), static_cast<std::size_t>(-1));
    iconv_close(converter);
    return std::string(out.data(), outPtr);
}

class FilterTableTest : public ::testing::TestWithParam<ExpectedTable (*)()> {};

TEST_P(FilterTableTest, HoldsNameTrackBarsAndCallbacks) {
    const ExpectedTable expected = GetParam()();
    PluginHost host(expected.path);
    const FilterTable& table = *host.plugin.table;
    EXPECT_EQ(table.flags, 0x00240800);
    EXPECT_STREQ(table.name, expected.name);
    ASSERT_EQ(table.trackCount, static_cast<std::int32_t>(expected.trackNames.size()));
    for (std::size_t i = 0; i < expected.trackNames.size(); ++i) {
        EXPECT_STREQ(table.trackNames[i], expected.trackNames[i].c_str());
        EXPECT_EQ(table.trackDefaults[i], expected.trackDefaults[i]);
    }
    EXPECT_NE(table.processCallback, nullptr);
    EXPECT_NE(table.exitCallback, nullptr);
    EXPECT_NE(table.saveStartCallback, nullptr);
    EXPECT_NE(table.saveEndCallback, nullptr);
}

TEST_P(FilterTableTest, EveryOtherSlotIsZero) {
    const ExpectedTable expected = GetParam()();
    PluginHost host(expected.path);
    // A byte copy, so that padding between wider slots comes along.
    FilterTable copy;
    std::memcpy(&copy, host.plugin.table, sizeof copy);
    EXPECT_EQ(copy.trackValues, nullptr);
    EXPECT_EQ(copy.hostServices, nullptr);
    EXPECT_EQ(copy.trackLowerBounds, nullptr);
    EXPECT_EQ(copy.trackUpperBounds, nullptr);
    // Blank the slots that hold values; every byte left must be zero.
    copy.flags = 0;
    copy.name = nullptr;
    copy.trackCount = 0;
    copy.trackNames = nullptr;
    copy.trackDefaults = nullptr;
    copy.processCallback = nullptr;
    copy.exitCallback = nullptr;
    copy.informationText = nullptr;
    copy.saveStartCallback = nullptr;
    copy.saveEndCallback = nullptr;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&copy);
    for (std::size_t i = 0; i < sizeof copy; ++i) EXPECT_EQ(bytes[i], 0) << "byte " << i;
}

TEST_P(FilterTableTest, InformationTextIsShiftJisOfItsString) {
    const ExpectedTable expected = GetParam()();
    PluginHost host(expected.path);
    const std::string text = host.plugin.table->informationText;
    EXPECT_EQ(text.size(), 41u);
    EXPECT_EQ(text, toShiftJis(expected.informationUtf8));
}

TEST_P(FilterTableTest, SameAddressOnEveryCallAndLoad) {
    const ExpectedTable expected = GetParam()();
    PluginHost first(expected.path);
    auto getFilterTable = reinterpret_cast<GetFilterTableFunction>(dlsym(first.plugin.library, "GetFilterTable"));
    ASSERT_NE(getFilterTable, nullptr);
    EXPECT_EQ(getFilterTable(), first.plugin.table);
    EXPECT_EQ(getFilterTable(), getFilterTable());
    PluginHost second(expected.path);
    EXPECT_EQ(second.plugin.table, first.plugin.table);
}

INSTANTIATE_TEST_SUITE_P(BothPlugins, FilterTableTest, ::testing::Values(&iirTable, &firTable),
                         [](const ::testing::TestParamInfo<ExpectedTable (*)()>& info) {
                             return info.index == 0 ? std::string("Iir") : std::string("Fir");
                         });

TEST(FilterTableTest, PluginsAreSeparateLibrariesWithSeparateTables) {
    PluginHost iir(plugintest::iirPluginPath());
    PluginHost fir(plugintest::firPluginPath());
    EXPECT_NE(iir.plugin.library, fir.plugin.library);
    EXPECT_NE(iir.plugin.table, fir.plugin.table);
}

}  // namespace
