// The portal route's parts that need no desktop: the kept consent's file and the window's pixels
// in a stream's frame.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/linux/portal/ConsentToken.h"
#include "platform/linux/portal/FramePixels.h"

namespace platform::portal {
namespace {

namespace fs = std::filesystem;

constexpr const char* kToken = "0f2c5a1e-7b3d-4c8e-9a6f-1d2e3f4a5b6c";

class ConsentTokenFile : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("consent-token-" + std::to_string(getpid()));
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }

    fs::path file() const { return folder_ / "state" / "linewarden" / "screencast-restore-token"; }

    void write(const std::string& bytes, mode_t mode = 0600) const {
        fs::create_directories(file().parent_path());
        std::ofstream(file(), std::ios::binary) << bytes;
        chmod(file().c_str(), mode);
    }

    // The problem line of a token that is not used; it names the file.
    std::string problem() const {
        const auto loaded = ConsentToken(file()).load();
        EXPECT_FALSE(loaded.token);
        EXPECT_EQ(loaded.problem.find('\n'), std::string::npos);
        EXPECT_NE(loaded.problem.find(file().string()), std::string::npos) << loaded.problem;
        return loaded.problem.substr(loaded.problem.find(file().string()) + file().string().size());
    }

    fs::path folder_;
};

TEST_F(ConsentTokenFile, KeptTokenIsReadBackAndReplacedWhole) {
    const ConsentToken token(file());
    EXPECT_EQ(token.store(kToken), "");
    struct stat status {};
    ASSERT_EQ(stat(file().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    EXPECT_EQ(token.load().token, kToken);

    EXPECT_EQ(token.store("second-token"), "");
    EXPECT_EQ(token.load().token, "second-token");
    // Nothing is left beside the file from writing it.
    EXPECT_EQ(std::distance(fs::directory_iterator(file().parent_path()), fs::directory_iterator()), 1);

    token.forget();
    EXPECT_FALSE(fs::exists(file()));
    EXPECT_NE(token.store("two\nlines"), "");   // only a token's shape is kept
    EXPECT_FALSE(fs::exists(file()));
}

TEST_F(ConsentTokenFile, FileThatCannotBeTrustedGivesOneLineAndNoToken) {
    EXPECT_EQ(problem(), " yet");   // missing: nothing kept

    write("");
    EXPECT_EQ(problem(), " is empty");
    write(std::string("\x89PNG\r\n\x1a\n\0\0", 10));
    EXPECT_EQ(problem(), " does not hold a restore token");
    write(std::string(300, 'a'));
    EXPECT_EQ(problem(), " does not hold a restore token");
    write(kToken, 0644);
    EXPECT_EQ(problem(), " is open to other users (mode 0644, not 0600)");

    fs::remove(file());
    fs::create_directory(file());
    EXPECT_EQ(problem(), " is not a plain file");
    fs::remove(file());
    fs::create_symlink("/etc/hostname", file());
    EXPECT_EQ(problem(), " cannot be read (Too many levels of symbolic links)");
    fs::remove(file());

    if (geteuid() == 0) {
        write(kToken);
        ASSERT_EQ(chown(file().c_str(), 65534, 65534), 0);
        EXPECT_EQ(problem(), " belongs to another user");
    }
}

TEST(ConsentTokenPath, FollowsTheSessionsStateFolder) {
    const std::string savedState = std::getenv("XDG_STATE_HOME") ? std::getenv("XDG_STATE_HOME") : "";
    const std::string savedHome = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("XDG_STATE_HOME", "/tmp/state", 1);
    EXPECT_EQ(ConsentToken::defaultPath(), fs::path("/tmp/state/linewarden/screencast-restore-token"));
    setenv("XDG_STATE_HOME", "relative", 1);   // not absolute: ignored, as the XDG rules say
    setenv("HOME", "/home/agent", 1);
    EXPECT_EQ(ConsentToken::defaultPath(), fs::path("/home/agent/.local/state/linewarden/screencast-restore-token"));
    unsetenv("XDG_STATE_HOME");
    unsetenv("HOME");
    EXPECT_EQ(ConsentToken::defaultPath(), std::nullopt);
    if (!savedState.empty()) setenv("XDG_STATE_HOME", savedState.c_str(), 1);
    if (!savedHome.empty()) setenv("HOME", savedHome.c_str(), 1);
}

// A frame of 4x3 BGRA pixels whose blue byte is 10*x+y; the window is the opaque 2x2 at (1,1).
std::vector<std::uint8_t> frameBytes(int stride) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stride) * 3, 0);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            std::uint8_t* p = &bytes[static_cast<std::size_t>(stride) * y + x * 4];
            p[0] = static_cast<std::uint8_t>(10 * x + y);
            p[1] = 1;
            p[2] = 2;
            p[3] = (x >= 1 && x <= 2 && y >= 1) ? 255 : 0;
        }
    }
    return bytes;
}

TEST(FramePixels, WindowIsTheCropOrElseTheOpaquePartOfTheFrame) {
    const auto bytes = frameBytes(20);
    FrameView frame{bytes, 4, 3, 20, PixelOrder::BGRA, std::nullopt};
    EXPECT_EQ(windowRect(frame), (PixelRect{1, 1, 2, 2}));
    frame.crop = PixelRect{0, 0, 3, 2};
    EXPECT_EQ(windowRect(frame), (PixelRect{0, 0, 3, 2}));
    const auto rgba = windowRgba(frame, PixelRect{2, 1, 1, 2});
    EXPECT_EQ(rgba, (std::vector<std::uint8_t>{2, 1, 21, 255, 2, 1, 22, 255}));

    // Crops that do not lie in the frame are not believed.
    for (const PixelRect bad : {PixelRect{3, 0, 2, 1}, PixelRect{-1, 0, 1, 1}, PixelRect{0, 0, 0, 3},
                                PixelRect{0, 2, 1, 2}, PixelRect{2147483647, 0, 2, 1}}) {
        frame.crop = bad;
        EXPECT_EQ(windowRect(frame), (PixelRect{1, 1, 2, 2}));
    }
    frame.order = PixelOrder::RGBx;   // no alpha: the whole frame, channels the other way round
    EXPECT_EQ(windowRect(frame), (PixelRect{0, 0, 4, 3}));
    EXPECT_EQ(windowRgba(frame, PixelRect{1, 0, 1, 1}), (std::vector<std::uint8_t>{10, 1, 2, 255}));

    // Sizes that do not fit the bytes give nothing.
    frame.height = 4;
    EXPECT_EQ(windowRect(frame), std::nullopt);
    frame = FrameView{bytes, 4, 3, 8, PixelOrder::BGRx, std::nullopt};
    EXPECT_EQ(windowRect(frame), std::nullopt);
    frame = FrameView{bytes, 4, 3, 20, PixelOrder::BGRx, std::nullopt};
    EXPECT_EQ(windowRgba(frame, PixelRect{3, 0, 2, 1}), std::nullopt);
    const std::vector<std::uint8_t> clear(48, 0);
    EXPECT_EQ(windowRect(FrameView{clear, 4, 3, 16, PixelOrder::BGRA, std::nullopt}), std::nullopt);
}

}  // namespace
}  // namespace platform::portal
