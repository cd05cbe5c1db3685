// Tests of reading and writing the settings file through real files.
#include <gtest/gtest.h>

#include <ostream>

#include "settings_file.h"
#include "temp_folder.h"

namespace talpir::settings {

void PrintTo(const WindowSettings& s, std::ostream* out) {
    *out << "{" << s.left << ", " << s.top << ", " << s.windowState << ", \"" << s.comPortName
         << "\", \"" << s.fileName << "\"}";
}

namespace {

using test::readBytes;
using test::TempFolder;
using test::writeBytes;

const WindowSettings kDefaults{200, 100, 0, "COM1", ""};

std::string repeated(const std::string& unit, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += unit;
    }
    return text;
}

class SettingsFile : public ::testing::Test {
protected:
    // The file written from values, its old content given.
    std::string rewritten(const std::string& old, const WindowSettings& values) {
        writeBytes(m_path, old);
        std::string error;
        EXPECT_TRUE(writeSettings(m_path, values, &error)) << error;
        return readBytes(m_path);
    }

    TempFolder m_folder;
    const std::string m_path = m_folder.file("prog.INI");
    const std::string m_eol{newFileLineEnd()};
};

TEST_F(SettingsFile, FirstStartWithoutFileGivesDefaults) {
    EXPECT_EQ(readSettings(m_path), kDefaults);
    EXPECT_EQ(readSettings(m_folder.path()), kDefaults);  // a folder where the file should be
    EXPECT_TRUE(m_folder.names().empty());
}

TEST_F(SettingsFile, RoundTripInWriteOrder) {
    const WindowSettings written{-15, 30000, 0, "COM12", "/home/оператор/Прошивка 2.fwx"};
    std::string error;
    ASSERT_TRUE(writeSettings(m_path, written, &error)) << error;
    EXPECT_EQ(readBytes(m_path), "[Main]" + m_eol + "WindowState=0" + m_eol + "Left=-15" + m_eol +
                                     "Top=30000" + m_eol + "[USER]" + m_eol + "comPortName=COM12" +
                                     m_eol + "FileName=" + toFileText(written.fileName) + m_eol);
    EXPECT_EQ(readSettings(m_path), written);

    // Cleared texts are stored as empty values, which read as empty, not as the defaults.
    const WindowSettings cleared{1, 2, 0, "", ""};
    ASSERT_TRUE(writeSettings(m_path, cleared, &error)) << error;
    EXPECT_EQ(readSettings(m_path), cleared);
    EXPECT_EQ(m_folder.names(), std::set<std::string>{"prog.INI"});
}

TEST_F(SettingsFile, WriteKeepsEverythingElseByteForByte) {
    const std::string old =
        "; shared by the line\r\n"
        "\r\n"
        "[main]\r\n"
        ";Left=1\r\n"
        "left = 5\r\n"
        "; comment\r\n"
        "# another\r\n"
        "TOP=7\r\n"
        "Color=red\r\n"
        "\r\n"
        "[Other]\r\n"
        "X=1\r\n"
        "Left=99\r\n"
        "[user]\r\n"
        "FILENAME=\"C:\\old.fwx\"\r\n";
    const WindowSettings values{11, 22, 0, "COM3", "D:\\new.fwx"};
    EXPECT_EQ(rewritten(old, values),
              "; shared by the line\r\n"
              "\r\n"
              "[main]\r\n"
              ";Left=1\r\n"
              "left = 11\r\n"
              "; comment\r\n"
              "# another\r\n"
              "TOP=22\r\n"
              "Color=red\r\n"
              "WindowState=0\r\n"
              "\r\n"
              "[Other]\r\n"
              "X=1\r\n"
              "Left=99\r\n"
              "[user]\r\n"
              "FILENAME=D:\\new.fwx\r\n"
              "comPortName=COM3\r\n");
    EXPECT_EQ(readSettings(m_path), values);
}

TEST_F(SettingsFile, MissingSectionsGoAtTheEndInTheFilesLineEnds) {
    const WindowSettings values{1, 2, 2, "COM2", "a.fwx"};
    EXPECT_EQ(rewritten("[Other]\nX=1", values),
              "[Other]\nX=1\n[Main]\nWindowState=2\n[USER]\ncomPortName=COM2\nFileName=a.fwx\n");
    EXPECT_EQ(rewritten("\xEF\xBB\xBF[USER]\r\nFileName=b\r\n", values),
              "\xEF\xBB\xBF[USER]\r\nFileName=a.fwx\r\ncomPortName=COM2\r\n[Main]\r\n"
              "WindowState=2\r\n");
}

TEST_F(SettingsFile, MinimisedOrMaximisedKeepsTheOldPlacement) {
    for (const int state : {1, 2}) {
        const WindowSettings values{1, 2, state, "COM2", "a.fwx"};
        EXPECT_EQ(rewritten("[Main]\nLeft=300\nTop=400\nWindowState=0\n", values),
                  "[Main]\nLeft=300\nTop=400\nWindowState=" + std::to_string(state) +
                      "\n[USER]\ncomPortName=COM2\nFileName=a.fwx\n");
        EXPECT_EQ(readSettings(m_path), (WindowSettings{300, 400, state, "COM2", "a.fwx"}));
    }
}

TEST_F(SettingsFile, ReadsValuesAsWindowsDoes) {
    struct Case {
        const char* content;
        WindowSettings expected;
    };
    const Case cases[] = {
        {"[MAIN]\n  LEFT  =  0x20  \nTop=$20\nleft=1\nWindowState=2\n"
         "[User]\ncomPortName = \"COM 5\" \nFileName='C:\\a b.fwx'\n",
         {32, 32, 2, "COM 5", "C:\\a b.fwx"}},
        {"[Main]\nLeft=12abc\nTop=\nWindowState=7\n[USER]\ncomPortName=\"COM7\nFileName=\"x'\n",
         {200, 100, 0, "\"COM7", "\"x'"}},
        {"[Main]\nWindowState=-1\n;Left=5\n[Other]\nTop=5\n[USER]\nFileName=\"\"\n", kDefaults},
        {"\xEF\xBB\xBF[Main]\r\nWindowState=1\r\nLeft=x10\r\n", {16, 100, 1, "COM1", ""}},
        {"Left=5\n[USER]\nFileName\ncomPortName=COM9", {200, 100, 0, "COM9", ""}},
    };
    for (const Case& c : cases) {
        writeBytes(m_path, c.content);
        EXPECT_EQ(readSettings(m_path), c.expected) << c.content;
    }
}

TEST_F(SettingsFile, TextsUpTo2047Characters) {
    for (const std::string unit : {"a", "я"}) {
        const std::string longest = repeated(unit, 2047);
        for (const std::string& written : {longest, longest + unit + "tail"}) {
            std::string error;
            ASSERT_TRUE(writeSettings(m_path, {200, 100, 0, "COM1", written}, &error)) << error;
            EXPECT_EQ(readSettings(m_path).fileName, longest) << written.size() << " bytes";
        }
    }
}

TEST_F(SettingsFile, LineBreakInATextCannotAddLines) {
    std::string error;
    ASSERT_TRUE(writeSettings(m_path, {5, 6, 0, "COM1", "a.fwx\n[Main]\r\nLeft=1"}, &error));
    EXPECT_EQ(readBytes(m_path), "[Main]" + m_eol + "WindowState=0" + m_eol + "Left=5" + m_eol +
                                     "Top=6" + m_eol + "[USER]" + m_eol + "comPortName=COM1" +
                                     m_eol + "FileName=a.fwx" + m_eol);
}

TEST_F(SettingsFile, CreatesMissingFolders) {
    const std::string path = m_folder.file("a/b/prog.INI");
    std::string error;
    ASSERT_TRUE(writeSettings(path, {7, 8, 0, "COM4", "f"}, &error)) << error;
    EXPECT_EQ(readSettings(path), (WindowSettings{7, 8, 0, "COM4", "f"}));
}

TEST_F(SettingsFile, FailedWriteLeavesEverythingAsItWas) {
    // Failures that hold even for root: a folder that is a file, a file that is a folder, and a
    // name so long that no temporary name fits beside it.
    const std::string plain = m_folder.file("plain");
    writeBytes(plain, "keep me");
    std::filesystem::create_directory(m_folder.file("folder.INI"));
    const std::string longName = repeated("s", 246) + ".INI";
    const std::string old = "[Main]\nLeft=1\n; note\n";
    writeBytes(m_folder.file(longName), old);

    for (const std::string& path :
         {plain + "/prog.INI", m_folder.file("folder.INI"), m_folder.file(longName)}) {
        std::string error;
        EXPECT_FALSE(writeSettings(path, {5, 6, 0, "COM2", "x"}, &error)) << path;
        EXPECT_EQ(error, "Unable to write to " + path);
    }
    EXPECT_FALSE(replaceFileContents(m_folder.file("folder.INI"), "x"));  // fails at the rename
    EXPECT_EQ(readBytes(plain), "keep me");
    EXPECT_TRUE(std::filesystem::is_empty(m_folder.file("folder.INI")));
    EXPECT_EQ(readBytes(m_folder.file(longName)), old);
    EXPECT_EQ(m_folder.names(), (std::set<std::string>{"plain", "folder.INI", longName}));
}

}  // namespace
}  // namespace talpir::settings
