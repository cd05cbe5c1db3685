// Tests of where the settings file lies on POSIX systems: beside the executable or in ~/.config.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>

#include "settings_file.h"
#include "temp_folder.h"

namespace talpir::settings {
namespace {

using test::TempFolder;
using test::writeBytes;

constexpr char kMissingFolderExe[] = "/nonexistent-talpir-folder/bin/prog";  // no one writes there

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    explicit ScopedEnv(const char* name) : m_name(name) {
        if (const char* value = std::getenv(name)) {
            m_old = value;
        }
    }
    ~ScopedEnv() {
        if (m_old) {
            setenv(m_name, m_old->c_str(), 1);
        } else {
            unsetenv(m_name);
        }
    }
    void set(const char* value) const { setenv(m_name, value, 1); }
    void unset() const { unsetenv(m_name); }

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

class SettingsPathPosix : public ::testing::Test {
protected:
    void SetUp() override {
        m_xdg.set(m_config.path().c_str());
        m_home.set(m_homeFolder.path().c_str());
    }

    TempFolder m_folder;
    TempFolder m_config;
    TempFolder m_homeFolder;
    ScopedEnv m_xdg{"XDG_CONFIG_HOME"};
    ScopedEnv m_home{"HOME"};
};

TEST_F(SettingsPathPosix, BesideTheExecutableInAWritableFolder) {
    EXPECT_EQ(settingsPath(m_folder.file("prog")), m_folder.file("prog") + ".INI");
}

TEST_F(SettingsPathPosix, InTheConfigFolderOtherwiseCreatedOnWrite) {
    const std::string path = settingsPath(kMissingFolderExe);
    EXPECT_EQ(path, m_config.path() + "/talpir-programmer/prog.INI");
    std::string error;
    ASSERT_TRUE(writeSettings(path, {3, 4, 0, "COM2", ""}, &error)) << error;
    EXPECT_EQ(readSettings(path).left, 3);
}

TEST_F(SettingsPathPosix, ConfigHomeFallsBackToDotConfig) {
    const std::string expected = m_homeFolder.path() + "/.config/talpir-programmer/prog.INI";
    m_xdg.unset();
    EXPECT_EQ(settingsPath(kMissingFolderExe), expected);
    m_xdg.set("");
    EXPECT_EQ(settingsPath(kMissingFolderExe), expected);
    m_xdg.set("relative/config");  // only absolute paths count
    EXPECT_EQ(settingsPath(kMissingFolderExe), expected);
}

// Root writes into any folder, so as root the check runs in a child that is nobody.
bool asUnprivileged(const std::function<bool()>& check) {
    if (geteuid() != 0) {
        return check();
    }
    const pid_t child = fork();
    if (child == 0) {
        const bool dropped = setgid(65534) == 0 && setuid(65534) == 0;
        _exit(dropped && check() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

TEST_F(SettingsPathPosix, ReadOnlyFolderUsesAFileAlreadyThere) {
    const std::string bin = m_folder.file("bin");
    std::filesystem::create_directory(bin);
    writeBytes(bin + "/kept.INI", "[Main]\n");
    chmod(m_folder.path().c_str(), 0755);
    chmod(bin.c_str(), 0555);
    const std::string expectedFresh = m_config.path() + "/talpir-programmer/prog.INI";
    EXPECT_TRUE(asUnprivileged([&] {
        return settingsPath(bin + "/kept") == bin + "/kept.INI" &&
               settingsPath(bin + "/prog") == expectedFresh;
    }));
    chmod(bin.c_str(), 0755);
}

TEST_F(SettingsPathPosix, WriteKeepsTheFilesPermissions) {
    const auto modeOf = [](const std::string& path) {
        struct stat info {};
        stat(path.c_str(), &info);
        return info.st_mode & 07777;
    };
    const mode_t oldMask = umask(022);
    const std::string fresh = m_folder.file("fresh.INI");
    const std::string shared = m_folder.file("shared.INI");
    writeBytes(shared, "[Main]\n");
    chmod(shared.c_str(), 0604);
    std::string error;
    EXPECT_TRUE(writeSettings(fresh, {}, &error)) << error;
    EXPECT_TRUE(writeSettings(shared, {}, &error)) << error;
    umask(oldMask);
    EXPECT_EQ(modeOf(fresh), 0644u);  // as any new file under the umask
    EXPECT_EQ(modeOf(shared), 0604u);
}

}  // namespace
}  // namespace talpir::settings
