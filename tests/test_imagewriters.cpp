#include "base/atomicfile.h"
#include "base/picture.h"
#include "filecallrecorder.h"
#include "imageio/imageunit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <jpeglib.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class ImageWriters : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "tavrel-writers-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string path(const std::string& name) const { return (m_dir / name).string(); }
    std::vector<std::string> folderContents() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_dir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path m_dir;
};

std::vector<std::uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

std::uint32_t le32(const std::vector<std::uint8_t>& b, std::size_t at)
{
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}

// A smooth picture with a distinct top and bottom row.
Picture gradient(int width, int height)
{
    Picture picture(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = picture.pixel(x, y);
            p[0] = static_cast<std::uint8_t>(x * 255 / std::max(1, width - 1));
            p[1] = static_cast<std::uint8_t>(y * 255 / std::max(1, height - 1));
            p[2] = static_cast<std::uint8_t>(128 + (x - y) / 8);
        }
    return picture;
}

bool (*const kWriters[])(const std::string&, const Picture&) = {SaveAsBMP, SaveAsGIF, SaveAsJPG,
                                                                SaveAsPNG};

} // namespace

TEST_F(ImageWriters, BmpLayoutForEveryPreset)
{
    const struct {
        int width, height;
        std::size_t size;
    } presets[] = {
        {704, 480, 1013814}, {704, 576, 1216566}, {720, 480, 1036854}, {720, 576, 1244214}};
    for (const auto& preset : presets) {
        const Picture picture = gradient(preset.width, preset.height);
        ASSERT_TRUE(SaveAsBMP(path("menu.bmp"), picture));
        const std::vector<std::uint8_t> file = readFile(path("menu.bmp"));
        ASSERT_EQ(file.size(), preset.size);
        EXPECT_EQ(file[0], 'B');
        EXPECT_EQ(file[1], 'M');
        EXPECT_EQ(le32(file, 2), preset.size);
        EXPECT_EQ(le32(file, 10), 54u);
        EXPECT_EQ(le32(file, 14), 40u);
        EXPECT_EQ(le32(file, 18), static_cast<std::uint32_t>(preset.width));
        EXPECT_EQ(le32(file, 22), static_cast<std::uint32_t>(preset.height));
        EXPECT_EQ(file[26] | file[27] << 8, 1);
        EXPECT_EQ(file[28] | file[29] << 8, 24);
        EXPECT_EQ(le32(file, 30), 0u);
        EXPECT_EQ(le32(file, 34), preset.size - 54);
        for (std::size_t at = 38; at < 54; ++at)
            EXPECT_EQ(file[at], 0);
        // The first stored row is the bottom row, blue first.
        const std::uint8_t* bottom = picture.pixel(preset.width - 1, preset.height - 1);
        const std::size_t at = 54 + 3 * static_cast<std::size_t>(preset.width - 1);
        EXPECT_EQ(file[at], bottom[2]);
        EXPECT_EQ(file[at + 1], bottom[1]);
        EXPECT_EQ(file[at + 2], bottom[0]);
        const std::uint8_t* top = picture.pixel(3, 0);
        const std::size_t topAt = file.size() - 3 * static_cast<std::size_t>(preset.width) + 9;
        EXPECT_EQ(file[topAt], top[2]);
        EXPECT_EQ(file[topAt + 2], top[0]);
    }
}

TEST_F(ImageWriters, BmpRowsArePaddedToFourBytes)
{
    Picture picture(5, 2);
    picture.fill(1, 2, 3);
    picture.pixel(4, 1)[0] = 9; // last pixel of the bottom row
    ASSERT_TRUE(SaveAsBMP(path("odd.bmp"), picture));
    const std::vector<std::uint8_t> file = readFile(path("odd.bmp"));
    ASSERT_EQ(file.size(), 54u + 2 * 16);
    EXPECT_EQ(le32(file, 34), 32u);
    const std::vector<std::uint8_t> bottomRow = {3, 2, 1, 3, 2, 1, 3, 2, 1, 3, 2, 1, 3, 2, 9, 0};
    const std::vector<std::uint8_t> topRow = {3, 2, 1, 3, 2, 1, 3, 2, 1, 3, 2, 1, 3, 2, 1, 0};
    EXPECT_TRUE(std::equal(bottomRow.begin(), bottomRow.end(), file.begin() + 54));
    EXPECT_TRUE(std::equal(topRow.begin(), topRow.end(), file.begin() + 70));
}

TEST_F(ImageWriters, JpegIsBaselineQuality100)
{
    const Picture picture = gradient(720, 576);
    ASSERT_TRUE(SaveAsJPG(path("menu.jpg"), picture));
    const std::vector<std::uint8_t> file = readFile(path("menu.jpg"));
    ASSERT_GT(file.size(), 4u);
    EXPECT_EQ(file[0], 0xFF);
    EXPECT_EQ(file[1], 0xD8);

    // Walk the header segments: baseline SOF0 only, every quantisation value 1.
    int quantTables = 0;
    bool baseline = false;
    std::size_t pos = 2;
    while (pos + 4 <= file.size() && file[pos] == 0xFF && file[pos + 1] != 0xDA) {
        const int marker = file[pos + 1];
        const std::size_t length = static_cast<std::size_t>(file[pos + 2] << 8 | file[pos + 3]);
        EXPECT_TRUE(marker < 0xC1 || marker > 0xCF || marker == 0xC4 || marker == 0xCC)
            << "SOF" << (marker - 0xC0);
        if (marker == 0xC0)
            baseline = true;
        if (marker == 0xDB) {
            for (std::size_t at = pos + 4; at < pos + 2 + length; at += 65) {
                EXPECT_EQ(file[at] >> 4, 0); // 8-bit values
                for (int k = 1; k <= 64; ++k)
                    EXPECT_EQ(file[at + k], 1);
                ++quantTables;
            }
        }
        pos += 2 + length;
    }
    EXPECT_TRUE(baseline);
    EXPECT_EQ(quantTables, 2);

    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
    ASSERT_EQ(jpeg_read_header(&cinfo, TRUE), JPEG_HEADER_OK);
    EXPECT_EQ(cinfo.jpeg_color_space, JCS_YCbCr);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    ASSERT_EQ(cinfo.output_width, 720u);
    ASSERT_EQ(cinfo.output_height, 576u);
    std::vector<std::uint8_t> row(720 * 3);
    int worst = 0;
    long total = 0;
    while (cinfo.output_scanline < cinfo.output_height) {
        const int y = static_cast<int>(cinfo.output_scanline);
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(&cinfo, rows, 1);
        for (int i = 0; i < 720 * 3; ++i) {
            const int error = std::abs(row[i] - picture.row(y)[i]);
            worst = std::max(worst, error);
            total += error;
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    // Chroma is subsampled 2 x 2 by default, so a little more than rounding remains.
    EXPECT_LE(worst, 5);
    EXPECT_LT(static_cast<double>(total) / (720 * 576 * 3), 1.0);
}

TEST_F(ImageWriters, EachWriterWritesItsFormat)
{
    const Picture picture = gradient(33, 17);
    const std::vector<std::uint8_t> starts[] = {
        {'B', 'M'}, {'G', 'I', 'F', '8', '7', 'a'}, {0xFF, 0xD8, 0xFF}, {0x89, 'P', 'N', 'G'}};
    for (int i = 0; i < 4; ++i) {
        // The name's extension does not choose the format.
        ASSERT_TRUE(kWriters[i](path("picture.png"), picture));
        const std::vector<std::uint8_t> file = readFile(path("picture.png"));
        ASSERT_GE(file.size(), starts[i].size());
        EXPECT_TRUE(std::equal(starts[i].begin(), starts[i].end(), file.begin())) << i;
    }
    EXPECT_EQ(folderContents(), std::vector<std::string>{"picture.png"});
}

TEST_F(ImageWriters, FailuresLeaveNothingBehind)
{
    const Picture picture = gradient(8, 8);
    writeFile(path("plain"), "not a folder");
    for (auto write : kWriters) {
        EXPECT_FALSE(write(path("missing/menu.img"), picture));
        EXPECT_FALSE(write(path("plain/menu.img"), picture));
        EXPECT_FALSE(write("", picture));
    }
    EXPECT_EQ(folderContents(), std::vector<std::string>{"plain"});
    EXPECT_EQ(readFile(path("plain")).size(), 12u);
}

TEST_F(ImageWriters, RefusedPictureKeepsTheExistingFile)
{
    writeFile(path("menu.img"), "precious");
    const Picture empty;
    const Picture flat(0, 7);
    const Picture tooWideForJpeg(65501, 1);
    for (auto write : kWriters) {
        EXPECT_FALSE(write(path("menu.img"), empty));
        EXPECT_FALSE(write(path("menu.img"), flat));
    }
    EXPECT_FALSE(SaveAsJPG(path("menu.img"), tooWideForJpeg));
    const std::vector<std::uint8_t> kept = readFile(path("menu.img"));
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "precious");
    EXPECT_EQ(folderContents(), std::vector<std::string>{"menu.img"});
}

TEST_F(ImageWriters, FailedRenameKeepsTheTargetAndRemovesTheTemporaryFile)
{
    // A folder in the target's place: the complete temporary file cannot be renamed.
    fs::create_directory(path("menu.bmp"));
    writeFile(path("menu.bmp/inside"), "x");
    EXPECT_FALSE(SaveAsBMP(path("menu.bmp"), gradient(4, 4)));
    EXPECT_EQ(folderContents(), std::vector<std::string>{"menu.bmp"});
    EXPECT_TRUE(fs::exists(path("menu.bmp/inside")));
}

TEST_F(ImageWriters, ReplacingKeepsPermissionsAndFollowsLinks)
{
    writeFile(path("menu.png"), "old");
    ASSERT_EQ(::chmod(path("menu.png").c_str(), 0640), 0);
    ASSERT_TRUE(SaveAsPNG(path("menu.png"), gradient(4, 4)));
    struct stat st {};
    ASSERT_EQ(::stat(path("menu.png").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(readFile(path("menu.png"))[1], 'P');

    fs::create_symlink(path("menu.png"), path("link.gif"));
    ASSERT_TRUE(SaveAsGIF(path("link.gif"), gradient(4, 4)));
    EXPECT_TRUE(fs::is_symlink(path("link.gif")));
    EXPECT_EQ(readFile(path("menu.png"))[0], 'G');
    EXPECT_EQ(folderContents(), (std::vector<std::string>{"link.gif", "menu.png"}));

    // A new file gets the usual mode: 0666 less the umask.
    const mode_t mask = ::umask(022);
    WriteFileAtomically(path("new.bin"), std::vector<std::uint8_t>{1, 2, 3});
    ::umask(mask);
    ASSERT_EQ(::stat(path("new.bin").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0644u);
    EXPECT_EQ(readFile(path("new.bin")), (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST_F(ImageWriters, ReplacedFileIsFlushedBeforeTheRename)
{
    for (auto write : kWriters) {
        writeFile(path("menu.img"), "old");
        StartRecordingFileCalls();
        const bool written = write(path("menu.img"), gradient(8, 8));
        const std::vector<FileCall> calls = StopRecordingFileCalls();
        ASSERT_TRUE(written);
        int renames = 0;
        EXPECT_EQ(CheckFlushedBeforeRename(calls, renames), "");
        EXPECT_EQ(renames, 1);
    }
    StartRecordingFileCalls();
    WriteFileAtomically(path("new.bin"), std::vector<std::uint8_t>{1, 2, 3});
    const std::vector<FileCall> calls = StopRecordingFileCalls();
    int renames = 0;
    EXPECT_EQ(CheckFlushedBeforeRename(calls, renames), "");
    EXPECT_EQ(renames, 1);
}
