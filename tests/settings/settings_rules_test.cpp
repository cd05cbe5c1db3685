// Tests of the pure rules: integer texts, the ".INI" name and whether a placement shows.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <utility>

#include "settings_file.h"

namespace talpir::settings {
namespace {

constexpr int kFallback = 4242;  // stands out from every value a case expects

TEST(ParseIniInteger, TextsAndWhatTheyGive) {
    struct Case {
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {"0", 0},
        {"007", 7},
        {"-5", -5},
        {"+5", 5},
        {" 7", 7},
        {"   -12", -12},
        {"0x20", 32},
        {"0X20", 32},
        {"$20", 32},
        {"x20", 32},
        {"X1f", 31},
        {"$aBc", 0xABC},
        {"-$10", -16},
        {" -0x10", -16},
        {"$0000000000FF", 255},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
        {"$7FFFFFFF", INT_MAX},
        {"$80000000", INT_MIN},
        {"$FFFFFFFF", -1},
        {"0xFFFFFFFE", -2},
        {"-$FFFFFFFF", 1},
        {"12abc", kFallback},
        {"", kFallback},
        {"   ", kFallback},
        {"2147483648", kFallback},
        {"-2147483649", kFallback},
        {"99999999999999999999", kFallback},
        {"$100000000", kFallback},
        {"+-5", kFallback},
        {"- 5", kFallback},
        {"-", kFallback},
        {"$", kFallback},
        {"0x", kFallback},
        {"0x-5", kFallback},
        {"$G", kFallback},
        {"7 ", kFallback},
        {"1e3", kFallback},
        {"\t7", kFallback},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("text \"") + c.text + "\"");
        EXPECT_EQ(parseIniInteger(c.text, kFallback), c.expected);
    }
}

TEST(WithIniExtension, ReplacesTheExtensionOfTheFileName) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\Tools\\prog.exe", "C:\\Tools\\prog.INI"}, {"prog.exe", "prog.INI"},
        {"C:\\Tools.d\\prog", "C:\\Tools.d\\prog.INI"}, {"/opt/a.b/prog", "/opt/a.b/prog.INI"},
        {"/opt/prog.tar.gz", "/opt/prog.tar.INI"},
    };
    for (const auto& [exe, expected] : cases) {
        EXPECT_EQ(withIniExtension(exe), expected) << exe;
    }
}

TEST(PlacementVisible, WindowMustOverlapSomeScreen) {
    const std::vector<Rect> screens = {{-1280, 0, 1280, 1200}, {0, 0, 1920, 1040}};
    struct Case {
        Rect window;
        bool visible;
    };
    const Case cases[] = {
        {{200, 100, 441, 184}, true},
        {{-1000, 500, 441, 184}, true},             // on the left screen
        {{1919, 1039, 441, 184}, true},             // one pixel in the corner
        {{1920, 100, 441, 184}, false},             // touching the right edge only
        {{-1721, 100, 441, 184}, false},            // left of everything
        {{200, -184, 441, 184}, false},             // above
        {{200, 1040, 441, 184}, false},             // below the primary screen
        {{-500, 1030, 441, 184}, true},             // the left screen reaches lower
        {{INT_MAX, INT_MAX, 441, 184}, false},      // no overflow wraps it back on
        {{INT_MIN, INT_MIN, INT_MAX, 100}, false},  // reaches -1 on x, not down to 0 on y
        {{200, 100, 0, 184}, false},
    };
    for (const Case& c : cases) {
        const Rect& w = c.window;
        EXPECT_EQ(placementVisible(w.x, w.y, w.width, w.height, screens), c.visible)
            << w.x << "," << w.y << " " << w.width << "x" << w.height;
    }
    EXPECT_FALSE(placementVisible(200, 100, 441, 184, {}));
    EXPECT_FALSE(placementVisible(200, 100, 441, 184, {{0, 0, 0, 0}}));
}

}  // namespace
}  // namespace talpir::settings
