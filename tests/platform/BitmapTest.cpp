// Pictures decoded into pixels: a real PNG file, and bytes that only look like one.

#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/foundation/Bundle.h"
#include "platform/ui/Bitmap.h"
#include "platform/ui/Image.h"
#include "platform/ui/ImageView.h"
#include "tests/support/TempDir.h"

using namespace platform;

namespace {

std::string readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

const std::filesystem::path kHostIcon =
    std::filesystem::path(ZANDREL_SOURCE_DIR) / "host/Resources/DLAppIcon.png";

uint32_t crc32(std::string_view bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char b : bytes) {
        crc ^= b;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

std::string bigEndian(uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

// A PNG signature and a well-formed header claiming `width` × `height`, with no pixel data.
std::string headerClaiming(uint32_t width, uint32_t height) {
    std::string body = "IHDR" + bigEndian(width) + bigEndian(height) + std::string("\x08\x06\0\0\0", 5);
    return std::string("\x89PNG\r\n\x1a\n", 8) + bigEndian(13) + body + bigEndian(crc32(body));
}

TEST(BitmapTest, DecodesARealPictureIntoRgbaPixels) {
    auto bitmap = Bitmap::decodePNG(readBytes(kHostIcon));
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->width(), 64u);
    EXPECT_EQ(bitmap->height(), 64u);
    EXPECT_EQ(bitmap->stride(), 256u);
    ASSERT_EQ(bitmap->rgba().size(), 64u * 64u * 4u);
    auto at = [&](unsigned x, unsigned y) {
        const unsigned char* p = &bitmap->rgba()[(y * 64 + x) * 4];
        return std::array<int, 4>{p[0], p[1], p[2], p[3]};
    };
    EXPECT_EQ(at(0, 0)[3], 0) << "the rounded corner is clear";
    EXPECT_EQ(at(4, 0)[3], 0) << "and so is the row above the tile's top corner";
    EXPECT_EQ(at(4, 32), (std::array<int, 4>{45, 103, 185, 255})) << "the tile is blue, darker below";
    EXPECT_EQ(at(32, 4), (std::array<int, 4>{63, 131, 217, 255}));
    EXPECT_EQ(at(32, 18), (std::array<int, 4>{255, 255, 255, 255})) << "the Z's top bar is white";
}

TEST(BitmapTest, BytesThatAreNoPictureOrTooLargeGiveNone) {
    const std::string real = readBytes(kHostIcon);
    std::string badChecksum = real;
    badChecksum[30] ^= 0x55;  // inside the header chunk: its checksum no longer matches
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"nothing", ""},
        {"a signature alone", std::string("\x89PNG\r\n\x1a\n", 8)},
        {"a header without pixels", headerClaiming(1, 1)},
        {"cut short", real.substr(0, real.size() / 2)},
        {"a broken header", badChecksum},
        {"wider than allowed", headerClaiming(Bitmap::kMaxSide + 1, 1)},
        {"a hundred thousand pixels square", headerClaiming(100000, 100000)},
        {"no size", headerClaiming(0, 0)},
        {"a GIF", "GIF89a\x01\0\x01\0\0\0\0;"},
        {"text", "<svg onload=alert(1)>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(Bitmap::decodePNG(c.bytes));
        EXPECT_FALSE(Image::imageWithData(c.bytes, "x"));
    }
}

TEST(ImageTest, ABundlesPictureIsFoundByNameAndDecodedWhenAsked) {
    testsupport::TempDir dir;
    std::filesystem::create_directories(dir / "Host" / "Resources");
    std::ofstream(dir / "Host" / "Info.json") << R"({ "CFBundleIdentifier": "test.host" })";
    std::filesystem::copy_file(kHostIcon, dir / "Host" / "Resources" / "DLAppIcon.png");
    std::ofstream(dir / "Host" / "Resources" / "Broken.png") << "\x89PNG\r\n\x1a\n";
    auto bundle = Bundle::open(dir / "Host");
    ASSERT_TRUE(bundle) << bundle.status().message();

    auto icon = Image::imageNamedInBundle("DLAppIcon", *bundle.value());
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->name(), "DLAppIcon");
    EXPECT_EQ(icon->pixelWidth(), 64u);
    ASSERT_TRUE(icon->bitmap());
    EXPECT_EQ(icon->bitmap()->rgba().size(), 64u * 64u * 4u);
    EXPECT_FALSE(Image::imageNamedInBundle("Missing", *bundle.value()));
    EXPECT_FALSE(Image::imageNamedInBundle("Broken", *bundle.value()));

    ImageView view;
    view.setImageName("placeholder");
    view.setImage(nullptr);
    EXPECT_EQ(view.imageName(), "placeholder") << "no image keeps the name";
    view.setImage(icon);
    EXPECT_EQ(view.imageName(), "DLAppIcon");
    EXPECT_EQ(view.image(), icon);
}

}  // namespace
