#include "base/atomicfile.h"
#include "base/childprocess.h"
#include "base/failure.h"
#include "childrun.h"
#include "codecs/pngencoder.h"
#include "disc/discbuttons.h"
#include "disc/discmasks.h"
#include "disc/discmenuexport.h"
#include "disc/discxml.h"
#include "disc/menustream.h"
#include "render/drawmenu.h"
#include "render/picturecanvas.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <QGuiApplication>

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

void ensureApplication()
{
    if (!QGuiApplication::instance()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "test_disc";
        static char* argv[] = {name, nullptr};
        // Kept for the whole run: fonts must not outlive the application object.
        new QGuiApplication(argc, argv);
    }
}

// --- Menus --------------------------------------------------------------------------

enum class Layout {
    Grid,
    List,
};

MenuDocument makeMenu(int videoMode, Layout layout, int count,
                      ButtonStyle style = ButtonStyle::Underline)
{
    ensureApplication();
    MenuDocument doc;
    doc.textfont = "Liberation Sans";
    doc.selectVideoMode(videoMode);
    doc.thumbs = layout == Layout::Grid;
    doc.menucount = count;
    doc.buttonstyle = style;
    const char* names[] = {"Intro", "Journey", "Storm",  "Harbour", "Night",
                           "Dawn",  "Credits", "Extras", "Gallery", "Epilogue"};
    for (int i = 0; i < kItemCount; ++i)
        doc.items[static_cast<std::size_t>(i)].menucaption = names[i];
    doc.RenderEnabled = true;
    return doc;
}

struct Laid {
    MenuGeometry geometry;
    std::vector<DiscButton> buttons;
    DiscMask mask;
};

Laid layOut(const MenuDocument& doc)
{
    Laid laid;
    Picture scratch;
    ComposeMenuImage(doc, scratch, &laid.geometry);
    laid.buttons = LayoutDiscButtons(laid.geometry);
    laid.mask = DrawDiscMask(doc, laid.geometry, laid.buttons);
    return laid;
}

// Whether two boxes share a pixel as a player sees them: their ends included.
bool touchInPlayer(const Rect& a, const Rect& b)
{
    return a.left <= b.right && b.left <= a.right && a.top <= b.bottom && b.top <= a.bottom;
}

// Every button inside the frame with its end too (a player lights it), with even rows and
// room of its own, apart from every other; every mask pixel 0 or 1 and inside a button.
void expectValidButtons(const std::vector<DiscButton>& buttons, const DiscMask& mask)
{
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        const Rect& b = buttons[i].box;
        SCOPED_TRACE(buttons[i].name);
        EXPECT_GE(b.left, 0);
        EXPECT_GE(b.top, 0);
        EXPECT_LT(b.right, mask.width);
        EXPECT_LT(b.bottom, mask.height);
        EXPECT_LT(b.left, b.right);
        EXPECT_LT(b.top, b.bottom);
        EXPECT_EQ(b.top % 2, 0);
        EXPECT_EQ(b.bottom % 2, 0);
        for (std::size_t j = i + 1; j < buttons.size(); ++j)
            EXPECT_FALSE(touchInPlayer(b, buttons[j].box)) << "with " << buttons[j].name;
    }
    for (int y = 0; y < mask.height; ++y)
        for (int x = 0; x < mask.width; ++x) {
            const std::uint8_t v = mask.index[static_cast<std::size_t>(y) * mask.width + x];
            ASSERT_LE(v, 1) << x << "," << y;
            if (v == 0)
                continue;
            const bool inside =
                std::any_of(buttons.begin(), buttons.end(), [&](const DiscButton& b) {
                    return x >= b.box.left && x < b.box.right && y >= b.box.top && y < b.box.bottom;
                });
            ASSERT_TRUE(inside) << "mask pixel outside every button at " << x << "," << y;
        }
}

// Interlace: every vertical run of a mask starts on an even row and is an even number of
// rows, at least two, so both fields show it.
void expectEvenBars(const DiscMask& mask)
{
    for (int x = 0; x < mask.width; ++x)
        for (int y = 0; y < mask.height;) {
            if (!mask.set(x, y)) {
                ++y;
                continue;
            }
            int end = y;
            while (end < mask.height && mask.set(x, end))
                ++end;
            ASSERT_TRUE(y % 2 == 0 && (end - y) % 2 == 0)
                << "rows " << y << ".." << end - 1 << " at x " << x;
            y = end;
        }
}

// Each button's frame is closed inside its own box: the outline of what it lights has
// all four edges whole.
void expectClosedFrames(const DiscMask& mask, const std::vector<DiscButton>& buttons)
{
    for (const DiscButton& b : buttons) {
        Rect lit{b.box.right, b.box.bottom, b.box.left - 1, b.box.top - 1};
        for (int y = b.box.top; y < b.box.bottom; ++y)
            for (int x = b.box.left; x < b.box.right; ++x)
                if (mask.set(x, y))
                    lit = {std::min(lit.left, x), std::min(lit.top, y), std::max(lit.right, x),
                           std::max(lit.bottom, y)};
        int gaps = 0;
        for (int x = lit.left; x <= lit.right; ++x)
            gaps += !mask.set(x, lit.top) + !mask.set(x, lit.bottom);
        for (int y = lit.top; y <= lit.bottom; ++y)
            gaps += !mask.set(lit.left, y) + !mask.set(lit.right, y);
        EXPECT_TRUE(lit.left < lit.right && lit.top < lit.bottom && gaps == 0)
            << b.name << ": " << gaps << " pixels of its outline are dark";
    }
}

int setPixels(const DiscMask& mask)
{
    return static_cast<int>(std::count(mask.index.begin(), mask.index.end(), 1));
}

// --- Files and tools ----------------------------------------------------------------

std::string readText(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct RgbaPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
    const std::uint8_t* at(int x, int y) const
    {
        return rgba.data() + 4 * (static_cast<std::size_t>(y) * width + x);
    }
};

RgbaPicture readPng(const fs::path& path)
{
    RgbaPicture out;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        ADD_FAILURE() << path << ": " << image.message;
        return out;
    }
    image.format = PNG_FORMAT_RGBA;
    out.rgba.resize(PNG_IMAGE_SIZE(image));
    EXPECT_TRUE(png_image_finish_read(&image, nullptr, out.rgba.data(), 0, nullptr))
        << image.message;
    out.width = static_cast<int>(image.width);
    out.height = static_cast<int>(image.height);
    png_image_free(&image);
    return out;
}

struct XmlButton {
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    std::map<std::string, std::string> links;
};

struct SpuFile {
    std::map<std::string, XmlButton> buttons;
    int xoffset = 0;
    int yoffset = 0;
    std::string highlight;
    std::string select;
};

std::string attribute(const std::string& element, const std::string& name)
{
    const std::regex re("\\b" + name + "=\"([^\"]*)\"");
    std::smatch m;
    return std::regex_search(element, m, re) ? m[1].str() : std::string();
}

// Reads a spumux control file, ours or the one spuunmux gives back. A missing link
// means the cursor stays, as spumux takes it.
SpuFile parseSpu(const fs::path& path)
{
    SpuFile out;
    const std::string xml = readText(path);
    std::smatch spu;
    if (std::regex_search(xml, spu, std::regex("<spu\\b[^>]*>"))) {
        const std::string e = spu[0].str();
        out.highlight = attribute(e, "highlight");
        out.select = attribute(e, "select");
        const std::string xo = attribute(e, "xoffset");
        const std::string yo = attribute(e, "yoffset");
        out.xoffset = xo.empty() ? 0 : std::stoi(xo);
        out.yoffset = yo.empty() ? 0 : std::stoi(yo);
    }
    const std::regex buttonRe("<button\\b[^>]*>");
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), buttonRe);
         it != std::sregex_iterator(); ++it) {
        const std::string e = (*it)[0].str();
        XmlButton b;
        b.x0 = std::stoi(attribute(e, "x0"));
        b.y0 = std::stoi(attribute(e, "y0"));
        b.x1 = std::stoi(attribute(e, "x1"));
        b.y1 = std::stoi(attribute(e, "y1"));
        const std::string name = attribute(e, "name");
        for (const char* d : {"up", "down", "left", "right"}) {
            const std::string to = attribute(e, d);
            b.links[d] = to.empty() ? name : to;
        }
        out.buttons[name] = b;
    }
    return out;
}

class DiscTest : public ::testing::Test {
protected:
    void SetUp() override { dir = FreshTestDir("disc"); }
    void TearDown() override { fs::remove_all(dir); }

    // A command run in `sub` with its output kept in log.txt there.
    int runIn(const fs::path& sub, const std::string& command)
    {
        return RunShell("cd " + ShellQuoted(sub.string()) + " && " + command + " >log.txt 2>&1");
    }

    // Every temporary file the export made is gone.
    void expectNoLeftovers(const fs::path& where)
    {
        for (const auto& entry : fs::directory_iterator(where))
            EXPECT_FALSE(entry.path().filename().string().starts_with(".tavrel-disc-"))
                << entry.path();
    }

    fs::path dir;
};

// A judge with no stake in our arithmetic: spuunmux reads the subpicture back out of
// menu.mpg, and its buttons and masks must be exactly ours.
// With two subpicture streams spuunmux reports the buttons of the last one for both (and
// colours the masks through them), so the first stream is judged on a stream of its own.
void expectSpuunmuxGivesBackOurs(const fs::path& out, const char* mpg, int stream,
                                 const char* spumuxFile, const char* highlightFile,
                                 const char* selectFile, Color highlight, Color select)
{
    const fs::path sp = out / ("sp" + std::to_string(stream) + mpg);
    fs::create_directories(sp);
    ASSERT_EQ(RunShell("cd " + ShellQuoted(out.string()) + " && spuunmux -s " +
                       std::to_string(stream) + " -o " + ShellQuoted((sp / "sp").string()) + " " +
                       mpg + " >/dev/null 2>&1"),
              0);
    const SpuFile ours = parseSpu(out / spumuxFile);
    const SpuFile theirs = parseSpu(sp / "sp.xml");
    ASSERT_FALSE(ours.buttons.empty());
    ASSERT_EQ(theirs.buttons.size(), ours.buttons.size());
    // As a player takes them, ends included: inside the picture, no line shared.
    const RgbaPicture still = readPng(out / kDiscStillFile);
    for (const auto& [name, t] : theirs.buttons) {
        EXPECT_LT(t.x1, still.width) << name;
        EXPECT_LT(t.y1, still.height) << name;
        for (const auto& [other, u] : theirs.buttons)
            EXPECT_TRUE(name == other ||
                        !touchInPlayer({t.x0, t.y0, t.x1, t.y1}, {u.x0, u.y0, u.x1, u.y1}))
                << name << " and " << other;
    }
    for (const auto& [name, b] : ours.buttons) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(theirs.buttons.count(name));
        const XmlButton& t = theirs.buttons.at(name);
        EXPECT_EQ(t.x0, b.x0);
        EXPECT_EQ(t.y0, b.y0);
        EXPECT_EQ(t.x1, b.x1);
        EXPECT_EQ(t.y1, b.y1);
        EXPECT_EQ(t.links, b.links);
    }

    // Their pictures are cropped to the drawn area at (xoffset, yoffset); the colours
    // went through the DVD's YCbCr palette, so they come back within a few steps.
    for (const auto& [file, theirFile, color] :
         {std::tuple{highlightFile, theirs.highlight, highlight},
          std::tuple{selectFile, theirs.select, select}}) {
        SCOPED_TRACE(file);
        const RgbaPicture mine = readPng(out / file);
        const RgbaPicture back = readPng(sp / theirFile);
        int mineOpaque = 0;
        for (int y = 0; y < mine.height; ++y)
            for (int x = 0; x < mine.width; ++x) {
                const std::uint8_t* p = mine.at(x, y);
                const int bx = x - theirs.xoffset;
                const int by = y - theirs.yoffset;
                const bool inBack = bx >= 0 && by >= 0 && bx < back.width && by < back.height;
                const std::uint8_t* q = inBack ? back.at(bx, by) : nullptr;
                if (p[3] == 0) {
                    ASSERT_TRUE(!q || q[3] == 0) << "extra pixel at " << x << "," << y;
                    continue;
                }
                ++mineOpaque;
                ASSERT_TRUE(q && q[3] == 255) << "lost pixel at " << x << "," << y;
                const int expected[3] = {static_cast<int>(color & 0xFF),
                                         static_cast<int>((color >> 8) & 0xFF),
                                         static_cast<int>((color >> 16) & 0xFF)};
                for (int c = 0; c < 3; ++c)
                    ASSERT_NEAR(q[c], expected[c], 6) << "colour at " << x << "," << y;
            }
        EXPECT_GT(mineOpaque, 0);
    }
}

struct StreamFacts {
    int width = 0;
    int height = 0;
    AVRational frameRate{0, 1};
    AVRational displayAspect{0, 1};
    int videoStreams = 0;
    int ac3Streams = 0;
    int audioRate = 0;
    int subpictureStreams = 0;
};

StreamFacts probe(const fs::path& file)
{
    StreamFacts facts;
    AVFormatContext* ctx = nullptr;
    if (avformat_open_input(&ctx, file.c_str(), nullptr, nullptr) < 0) {
        ADD_FAILURE() << "libavformat cannot open " << file;
        return facts;
    }
    EXPECT_GE(avformat_find_stream_info(ctx, nullptr), 0);
    EXPECT_STREQ(ctx->iformat->name, "mpeg");
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream* s = ctx->streams[i];
        const AVCodecParameters* p = s->codecpar;
        if (p->codec_type == AVMEDIA_TYPE_VIDEO && p->codec_id == AV_CODEC_ID_MPEG2VIDEO) {
            ++facts.videoStreams;
            facts.width = p->width;
            facts.height = p->height;
            facts.frameRate = s->r_frame_rate;
            av_reduce(&facts.displayAspect.num, &facts.displayAspect.den,
                      static_cast<std::int64_t>(p->width) * p->sample_aspect_ratio.num,
                      static_cast<std::int64_t>(p->height) * p->sample_aspect_ratio.den, 1000);
        } else if (p->codec_id == AV_CODEC_ID_AC3) {
            ++facts.ac3Streams;
            facts.audioRate = p->sample_rate;
        } else if (p->codec_id == AV_CODEC_ID_DVD_SUBTITLE) {
            ++facts.subpictureStreams;
        }
    }
    avformat_close_input(&ctx);
    return facts;
}

// The first picture of an MPEG stream file, decoded by libavcodec and turned back into
// RGB with BT.601 studio-range coefficients, as a player shows it; its luma plane as
// decoded goes to `luma` when asked for (width x height bytes).
Picture firstPicture(const fs::path& file, std::vector<std::uint8_t>* luma = nullptr)
{
    Picture out;
    AVFormatContext* ctx = nullptr;
    if (avformat_open_input(&ctx, file.c_str(), nullptr, nullptr) < 0)
        return out;
    avformat_find_stream_info(ctx, nullptr);
    const int index = av_find_best_stream(ctx, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVCodec* codec =
        index >= 0 ? avcodec_find_decoder(ctx->streams[index]->codecpar->codec_id) : nullptr;
    AVCodecContext* dec = codec ? avcodec_alloc_context3(codec) : nullptr;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    if (dec && avcodec_parameters_to_context(dec, ctx->streams[index]->codecpar) >= 0 &&
        avcodec_open2(dec, codec, nullptr) >= 0) {
        bool got = false;
        while (!got && av_read_frame(ctx, packet) >= 0) {
            if (packet->stream_index == index && avcodec_send_packet(dec, packet) >= 0)
                got = avcodec_receive_frame(dec, frame) >= 0;
            av_packet_unref(packet);
        }
        if (!got && avcodec_send_packet(dec, nullptr) >= 0)
            got = avcodec_receive_frame(dec, frame) >= 0;
        if (got && luma)
            for (int y = 0; y < frame->height; ++y)
                luma->insert(luma->end(), frame->data[0] + y * frame->linesize[0],
                             frame->data[0] + y * frame->linesize[0] + frame->width);
        if (got) {
            out.reset(frame->width, frame->height);
            SwsContext* sws = sws_getContext(
                frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                frame->width, frame->height, AV_PIX_FMT_RGB24, SWS_BICUBIC | SWS_ACCURATE_RND,
                nullptr, nullptr, nullptr);
            const int* bt601 = sws_getCoefficients(SWS_CS_ITU601);
            sws_setColorspaceDetails(sws, bt601, 0, bt601, 1, 0, 1 << 16, 1 << 16);
            std::uint8_t* dst[1] = {out.data()};
            const int stride[1] = {static_cast<int>(out.stride())};
            sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, stride);
            sws_freeContext(sws);
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&dec);
    avformat_close_input(&ctx);
    return out;
}

// A tiny title for dvdauthor: a flat picture through our own stream encoder.
void makeTitles(const fs::path& out, int height, int count)
{
    Picture picture(720, height);
    picture.fill(40, 90, 160);
    const std::vector<std::uint8_t> bytes = EncodeMenuStream(picture, DiscFormat{720, height});
    for (int n = 1; n <= count; ++n)
        WriteFileAtomically((out / TitleFileName(n)).string(), bytes);
}

} // namespace

// --- Buttons and masks ----------------------------------------------------------------

TEST(DiscButtons, EveryStyleAndLayoutGivesValidButtonsAndTwoValuedMasks)
{
    for (const int mode : {2, 3})
        for (const auto& [layout, count] :
             {std::pair{Layout::Grid, 6}, std::pair{Layout::Grid, 10}, std::pair{Layout::List, 10},
              std::pair{Layout::List, 1}})
            for (const ButtonStyle style : {ButtonStyle::Underline, ButtonStyle::Frame,
                                            ButtonStyle::Text, ButtonStyle::None}) {
                SCOPED_TRACE(std::to_string(mode) + " " + std::to_string(count) + " " +
                             ButtonStyleName(style) + (layout == Layout::Grid ? " grid" : " list"));
                const Laid laid = layOut(makeMenu(mode, layout, count, style));
                ASSERT_EQ(laid.buttons.size(), static_cast<std::size_t>(count));
                expectValidButtons(laid.buttons, laid.mask);
                if (style == ButtonStyle::None)
                    EXPECT_EQ(setPixels(laid.mask), 0);
                else
                    EXPECT_GT(setPixels(laid.mask), 0);
                if (style == ButtonStyle::Text || style == ButtonStyle::None)
                    continue;
                if (style == ButtonStyle::Frame)
                    expectClosedFrames(laid.mask, laid.buttons);
                // Bars keep to both fields, also in the letterbox view of a 16:9 menu.
                expectEvenBars(laid.mask);
                Laid letterbox = laid;
                ToLetterbox(letterbox.mask, letterbox.buttons);
                expectValidButtons(letterbox.buttons, letterbox.mask);
                expectEvenBars(letterbox.mask);
                EXPECT_GT(setPixels(letterbox.mask), setPixels(laid.mask) / 2);
            }
}

TEST(DiscButtons, ButtonsCoverTheirItemAndLinkAlongRowsAndColumns)
{
    const Laid laid = layOut(makeMenu(3, Layout::Grid, 6));
    ASSERT_EQ(laid.geometry.items.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i) {
        const Rect& b = laid.buttons[i].box;
        const Rect& item = laid.geometry.items[i].button;
        EXPECT_LE(b.left, item.left);
        EXPECT_LE(b.top, item.top);
        EXPECT_GE(b.right, item.right);
        EXPECT_GE(b.bottom, item.bottom);
    }
    // Two rows of three: 1 2 3 over 4 5 6.
    const DiscButton& b1 = laid.buttons[0];
    const DiscButton& b5 = laid.buttons[4];
    EXPECT_EQ(b1.name, "b1");
    EXPECT_EQ(b1.up, 0);
    EXPECT_EQ(b1.down, 4);
    EXPECT_EQ(b1.left, 0);
    EXPECT_EQ(b1.right, 2);
    EXPECT_EQ(b5.up, 2);
    EXPECT_EQ(b5.down, 0);
    EXPECT_EQ(b5.left, 4);
    EXPECT_EQ(b5.right, 6);

    const Laid list = layOut(makeMenu(3, Layout::List, 10));
    for (std::size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(list.buttons[i].up, i == 0 ? 0 : static_cast<int>(i));
        EXPECT_EQ(list.buttons[i].down, i == 9 ? 0 : static_cast<int>(i + 2));
        EXPECT_EQ(list.buttons[i].left, 0);
        EXPECT_EQ(list.buttons[i].right, 0);
    }
    const std::string xml = SpumuxXml(DiscFormat{720, 576}, list.buttons, "h.png", "s.png");
    EXPECT_EQ(xml.find("left="), std::string::npos);
    EXPECT_NE(xml.find("<button name=\"b1\""), std::string::npos);
    EXPECT_NE(xml.find("up=\"b1\" down=\"b2\""), std::string::npos); // an edge stays put
}

TEST(DiscButtons, CrowdedGridIsRefusedAndCrowdedLinesStillGiveValidButtons)
{
    // Captions that run over their neighbours would leave buttons that light nothing or
    // miss their thumbnail: refused before anything is written, saying what helps.
    MenuDocument grid = makeMenu(3, Layout::Grid, 10, ButtonStyle::Underline);
    grid.captionsize = 15;
    for (int i = 0; i < 10; ++i)
        grid.items[static_cast<std::size_t>(i)].menucaption =
            "A caption far too long for its column, running past both edges of the frame";
    const fs::path out = FreshTestDir("disc") / "crowded";
    try {
        ExportDiscMenu(grid, out.string());
        ADD_FAILURE() << "a crowded grid was written";
    } catch (const Failure& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("would light nothing"), std::string::npos) << message;
        EXPECT_NE(message.find("items 1, "), std::string::npos) << message;
        EXPECT_NE(message.find("Fit text"), std::string::npos) << message;
    }
    EXPECT_TRUE(!fs::exists(out) || fs::is_empty(out));
    fs::remove_all(out.parent_path());
    grid.fittext = true;
    const Laid fitted = layOut(grid);
    expectValidButtons(fitted.buttons, fitted.mask);

    // At the largest caption size the list's lines overlap each other.
    MenuDocument list = makeMenu(2, Layout::List, 10, ButtonStyle::Frame);
    list.captionsize = 15;
    list.titlesize = 15;
    const Laid crowded = layOut(list);
    expectValidButtons(crowded.buttons, crowded.mask);
    EXPECT_GT(setPixels(crowded.mask), 0);
}

TEST(DiscButtons, TinyPreviewSizesGiveValidButtonsOrAClearError)
{
    // The preview lays buttons out at whatever size the window has.
    for (const ButtonStyle style : {ButtonStyle::Frame, ButtonStyle::Text})
        for (const Layout layout : {Layout::Grid, Layout::List}) {
            const MenuDocument doc = makeMenu(3, layout, 10, style);
            for (const auto& [w, h] : {std::pair{1, 1}, std::pair{2, 3}, std::pair{17, 9},
                                       std::pair{40, 31}, std::pair{90, 70}}) {
                Picture target(w, h);
                Picture scratch;
                PictureCanvas canvas(target);
                MenuGeometry geometry;
                DrawMenu(doc, canvas, scratch, false, nullptr, &geometry);
                try {
                    const std::vector<DiscButton> buttons = LayoutDiscButtons(geometry);
                    const DiscMask mask = DrawDiscMask(doc, geometry, buttons);
                    expectValidButtons(buttons, mask);
                } catch (const std::runtime_error&) {
                    // Buttons with no room of their own: the preview shows none.
                }
            }
        }
}

TEST(DiscButtons, UnderlineIsAnEvenBarOfAtLeastTwoRowsUnderTheCaption)
{
    const Laid laid = layOut(makeMenu(3, Layout::List, 3));
    for (std::size_t i = 0; i < 3; ++i) {
        const Rect& caption = laid.geometry.items[i].caption;
        const Rect& box = laid.buttons[i].box;
        std::vector<int> rows;
        for (int y = box.top; y < box.bottom; ++y)
            if (laid.mask.set((caption.left + caption.right) / 2, y))
                rows.push_back(y);
        ASSERT_GE(rows.size(), 2u);
        EXPECT_EQ(rows.front() % 2, 0);
        EXPECT_EQ(rows.size() % 2, 0u);
        EXPECT_EQ(rows.back() - rows.front() + 1, static_cast<int>(rows.size())); // one bar
        EXPECT_LE(rows.back(), caption.bottom);
        EXPECT_GT(rows.front(), (caption.top + caption.bottom) / 2);
    }
}

TEST(DiscButtons, TextStyleCoversTheCaptionGlyphsOnly)
{
    MenuDocument doc = makeMenu(3, Layout::List, 2, ButtonStyle::Text);
    doc.textcolor = 0x000000;
    doc.bgcolor = 0xFFFFFF;
    Picture scratch;
    MenuGeometry geometry;
    const Picture still = ComposeMenuImage(doc, scratch, &geometry);
    const std::vector<DiscButton> buttons = LayoutDiscButtons(geometry);
    const DiscMask mask = DrawDiscMask(doc, geometry, buttons);
    // The mask is the glyphs cut at half intensity: where the composed caption is dark
    // the mask is set, where it is plain background it is not.
    int agree = 0;
    int total = 0;
    for (const DiscButton& b : buttons)
        for (int y = b.box.top; y < b.box.bottom; ++y)
            for (int x = b.box.left; x < b.box.right; ++x) {
                const int ink = still.pixel(x, y)[1];
                if (ink > 64 && ink < 192)
                    continue; // an anti-aliased edge: either way is right
                ++total;
                agree += mask.set(x, y) == (ink <= 64);
            }
    ASSERT_GT(total, 0);
    EXPECT_GE(agree, total * 99 / 100);
}

TEST(DiscButtons, SqueezeToTheFrameKeepsButtonsApartAndMasksInside)
{
    ensureApplication();
    // A 16:9 display canvas, 1024 wide, with frames that touch after rounding.
    MenuGeometry geometry;
    geometry.width = 1024;
    geometry.height = 576;
    geometry.grid = true;
    for (int i = 0; i < 5; ++i) {
        const Rect frame{10 + 200 * i, 100, 10 + 200 * i + 190, 300};
        const Rect caption{frame.left + 20, 302, frame.right - 20, 330};
        geometry.items.push_back(
            {i + 1, 0, i, frame, caption, {frame.left, 100, frame.right, 330}});
    }
    MenuDocument doc = makeMenu(3, Layout::Grid, 5, ButtonStyle::Frame);
    std::vector<DiscButton> buttons = LayoutDiscButtons(geometry);
    const std::vector<DiscButton> before = buttons;
    DiscMask mask = DrawDiscMask(doc, geometry, buttons);
    SqueezeToFrame(mask, buttons, 720);
    ASSERT_EQ(mask.width, 720);
    expectValidButtons(buttons, mask);
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        EXPECT_NEAR(buttons[i].box.left, before[i].box.left * 720.0 / 1024, 0.5);
        // The gap a player needs may cost the right edge a column or two.
        EXPECT_NEAR(buttons[i].box.right, before[i].box.right * 720.0 / 1024, 2.0);
        EXPECT_EQ(buttons[i].box.top, before[i].box.top);
        // The 4-pixel side bars survive as at least two columns.
        const int y = (buttons[i].box.top + buttons[i].box.bottom) / 2;
        EXPECT_TRUE(mask.set(buttons[i].box.left, y) && mask.set(buttons[i].box.left + 1, y));
    }

    DiscMask letterbox = mask;
    std::vector<DiscButton> letterboxButtons = buttons;
    ToLetterbox(letterbox, letterboxButtons);
    expectValidButtons(letterboxButtons, letterbox);
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        EXPECT_NEAR(letterboxButtons[i].box.top, 0.75 * buttons[i].box.top + 72, 1.0);
        EXPECT_NEAR(letterboxButtons[i].box.bottom, 0.75 * buttons[i].box.bottom + 72, 1.0);
        EXPECT_EQ(letterboxButtons[i].box.left, buttons[i].box.left);
    }
    for (int y = 0; y < 72; ++y)
        for (int x = 0; x < 720; ++x)
            ASSERT_FALSE(letterbox.set(x, y) || letterbox.set(x, 575 - y));
}

// --- The whole export, judged by the DVD tools ------------------------------------------

struct EndToEnd {
    int mode;
    Layout layout;
    int count;
    ButtonStyle style;
};

class DiscEndToEnd : public DiscTest, public ::testing::WithParamInterface<EndToEnd> {};

TEST_P(DiscEndToEnd, SpumuxSpuunmuxAndDvdauthorAgreeWithUs)
{
    const EndToEnd c = GetParam();
    MenuDocument doc = makeMenu(c.mode, c.layout, c.count, c.style);
    doc.bgcolor = 0x402010;
    doc.textcolor = 0xE0E0E0;
    const fs::path out = dir / "menu out"; // a space on the way must not matter
    const DiscMenuResult result = ExportDiscMenu(doc, out.string());
    ASSERT_EQ(result.subpicture, SubpictureOutcome::Added) << result.note;
    EXPECT_EQ(result.written.size(), 7u);
    for (const char* name : {kDiscStillFile, kDiscHighlightFile, kDiscSelectFile, kDiscSpumuxFile,
                             kDiscBackgroundStreamFile, kDiscMenuStreamFile, kDiscDvdauthorFile})
        EXPECT_TRUE(fs::is_regular_file(out / name)) << name;
    expectNoLeftovers(out);

    // The masks: palette PNGs of at most four entries, index 0 transparent, and every
    // pixel either transparent or exactly the colour.
    for (const auto& [name, color] : {std::pair{kDiscHighlightFile, doc.highlightcolor},
                                      std::pair{kDiscSelectFile, doc.selectcolor}}) {
        const std::string bytes = readText(out / name);
        ASSERT_GT(bytes.size(), 41u);
        EXPECT_EQ(bytes[25], 3); // colour type: palette
        EXPECT_EQ(bytes.substr(37, 4), "PLTE");
        const int plteLength = static_cast<unsigned char>(bytes[36]);
        EXPECT_LE(plteLength, 12);
        const std::size_t trns = bytes.find("tRNS");
        ASSERT_NE(trns, std::string::npos);
        EXPECT_EQ(bytes[trns + 4], 0); // index 0 fully transparent
        const RgbaPicture png = readPng(out / name);
        EXPECT_EQ(png.width, 720);
        EXPECT_EQ(png.height, doc.ImageHeight);
        for (std::size_t i = 0; i < png.rgba.size(); i += 4) {
            const std::uint8_t* p = &png.rgba[i];
            if (p[3] == 0)
                continue;
            ASSERT_EQ(p[3], 255);
            ASSERT_EQ(p[0] | p[1] << 8 | p[2] << 16, static_cast<int>(color));
        }
    }

    const StreamFacts facts = probe(out / kDiscMenuStreamFile);
    EXPECT_EQ(facts.videoStreams, 1);
    EXPECT_EQ(facts.width, 720);
    EXPECT_EQ(facts.height, doc.ImageHeight);
    EXPECT_EQ(av_cmp_q(facts.frameRate,
                       doc.ImageHeight == 576 ? AVRational{25, 1} : AVRational{30000, 1001}),
              0);
    EXPECT_EQ(av_cmp_q(facts.displayAspect, AVRational{4, 3}), 0);
    EXPECT_EQ(facts.ac3Streams, 1);
    EXPECT_EQ(facts.audioRate, 48000);
    EXPECT_EQ(facts.subpictureStreams, 1);
    EXPECT_EQ(probe(out / kDiscBackgroundStreamFile).subpictureStreams, 0);

    expectSpuunmuxGivesBackOurs(out, kDiscMenuStreamFile, 0, kDiscSpumuxFile, kDiscHighlightFile,
                                kDiscSelectFile, doc.highlightcolor, doc.selectcolor);

    makeTitles(out, doc.ImageHeight, c.count);
    ASSERT_EQ(runIn(out, "dvdauthor -o dvd -x dvdauthor.xml"), 0) << readText(out / "log.txt");
    EXPECT_EQ(readText(out / "log.txt").find("ERR:"), std::string::npos);
    EXPECT_TRUE(fs::is_regular_file(out / "dvd/VIDEO_TS/VIDEO_TS.IFO"));
    EXPECT_TRUE(fs::is_regular_file(out / "dvd/VIDEO_TS/VTS_01_0.VOB")); // the menu
    EXPECT_TRUE(fs::is_regular_file(out / "dvd/VIDEO_TS/VTS_01_1.VOB")); // the titles
}

INSTANTIATE_TEST_SUITE_P(Menus, DiscEndToEnd,
                         ::testing::Values(EndToEnd{3, Layout::Grid, 6, ButtonStyle::Underline},
                                           EndToEnd{2, Layout::List, 10, ButtonStyle::Text},
                                           EndToEnd{2, Layout::Grid, 6, ButtonStyle::Frame},
                                           EndToEnd{3, Layout::List, 10, ButtonStyle::Frame}),
                         [](const auto& info) {
                             const EndToEnd& c = info.param;
                             return std::string(c.layout == Layout::Grid ? "Grid" : "List") +
                                    std::to_string(c.count) + (c.mode == 3 ? "Pal" : "Ntsc") +
                                    ButtonStyleName(c.style);
                         });

TEST_F(DiscTest, WideMenuCarriesBothSubpictureStreamsThroughDvdauthor)
{
    MenuDocument doc = makeMenu(3, Layout::Grid, 6, ButtonStyle::Frame);
    doc.aspect = MenuAspect::Wide;
    const fs::path out = dir / "wide";
    // A symbolic link is written through, as for every other file: to a file not there yet.
    fs::create_directories(out / "kept");
    fs::create_symlink("kept/menu.mpg", out / kDiscMenuStreamFile);
    const DiscMenuResult result = ExportDiscMenu(doc, out.string());
    ASSERT_EQ(result.subpicture, SubpictureOutcome::Added) << result.note;
    EXPECT_EQ(result.written.size(), 10u);
    EXPECT_TRUE(fs::is_symlink(out / kDiscMenuStreamFile));
    EXPECT_TRUE(fs::is_regular_file(out / "kept" / kDiscMenuStreamFile));
    expectNoLeftovers(out);

    const StreamFacts facts = probe(out / kDiscMenuStreamFile);
    EXPECT_EQ(av_cmp_q(facts.displayAspect, AVRational{16, 9}), 0);
    EXPECT_EQ(facts.subpictureStreams, 2);

    const SpuFile wide = parseSpu(out / kDiscSpumuxFile);
    const SpuFile letterbox = parseSpu(out / kDiscSpumuxLetterboxFile);
    ASSERT_EQ(letterbox.buttons.size(), wide.buttons.size());
    for (const auto& [name, b] : wide.buttons) {
        const XmlButton& l = letterbox.buttons.at(name);
        EXPECT_NEAR(l.y0, 0.75 * b.y0 + 72, 1.0) << name;
        EXPECT_NEAR(l.y1, 0.75 * b.y1 + 72, 1.0) << name;
        EXPECT_EQ(l.y0 % 2, 0);
        EXPECT_EQ(l.x0, b.x0);
        EXPECT_EQ(l.links, b.links);
    }
    expectSpuunmuxGivesBackOurs(out, kDiscMenuStreamFile, 1, kDiscSpumuxLetterboxFile,
                                kDiscHighlightLetterboxFile, kDiscSelectLetterboxFile,
                                doc.highlightcolor, doc.selectcolor);
    // The widescreen buttons, from a stream that holds them alone.
    ASSERT_EQ(RunShell("cd " + ShellQuoted(out.string()) +
                       " && spumux -s 0 spumux.xml < menu_bg.mpg > wide_only.mpg 2>/dev/null"),
              0);
    expectSpuunmuxGivesBackOurs(out, "wide_only.mpg", 0, kDiscSpumuxFile, kDiscHighlightFile,
                                kDiscSelectFile, doc.highlightcolor, doc.selectcolor);

    const std::string xml = readText(out / kDiscDvdauthorFile);
    EXPECT_NE(xml.find("aspect=\"16:9\" widescreen=\"nopanscan\""), std::string::npos);
    EXPECT_NE(xml.find("<stream id=\"1\" mode=\"letterbox\"/>"), std::string::npos);
    makeTitles(out, 576, 6);
    ASSERT_EQ(runIn(out, "dvdauthor -o dvd -x dvdauthor.xml"), 0) << readText(out / "log.txt");
    EXPECT_TRUE(fs::is_regular_file(out / "dvd/VIDEO_TS/VTS_01_0.VOB"));
}

TEST_F(DiscTest, TheStreamShowsTheStillInItsOwnColours)
{
    // Colour bars over a gradient: a swapped channel, a wrong colour matrix or a coarse
    // quantiser shows at once.
    for (const int height : {576, 480}) {
        Picture still(720, height);
        const std::uint8_t bars[6][3] = {{200, 30, 30},   {30, 200, 30}, {30, 30, 200},
                                         {220, 220, 220}, {20, 20, 20},  {200, 180, 40}};
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < 720; ++x) {
                std::uint8_t* p = still.pixel(x, y);
                if (y < height / 2) {
                    std::copy_n(bars[x / 120], 3, p);
                } else {
                    p[0] = static_cast<std::uint8_t>(x * 255 / 719);
                    p[1] = static_cast<std::uint8_t>((y - height / 2) * 255 / (height / 2));
                    p[2] = 128;
                }
            }
        const fs::path file = dir / ("still" + std::to_string(height) + ".mpg");
        WriteFileAtomically(file.string(), EncodeMenuStream(still, DiscFormat{720, height}));
        const Picture back = firstPicture(file);
        ASSERT_EQ(back.width(), 720);
        ASSERT_EQ(back.height(), height);
        double error = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < 720; ++x)
                for (int c = 0; c < 3; ++c)
                    error += std::abs(back.pixel(x, y)[c] - still.pixel(x, y)[c]);
        EXPECT_LT(error / (720.0 * height * 3), 2.0) << height;
        for (int b = 0; b < 6; ++b) {
            const std::uint8_t* p = back.pixel(b * 120 + 60, height / 4);
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(p[c], bars[b][c], 4) << "bar " << b << " channel " << c;
        }
    }
}

// Full-range white and black are legal on the disc: the stream maps them to Y 235 and 16
// itself, with or without TV-safe output. A menu without highlights is written, with a
// warning that the viewer cannot see the selection.
TEST_F(DiscTest, AWhiteMenuIsLegalWhiteOnTheDiscAndAMenuWithoutHighlightsIsWarnedOf)
{
    for (const bool tvsafe : {false, true}) {
        SCOPED_TRACE(tvsafe ? "tv-safe" : "as composed");
        MenuDocument doc = makeMenu(3, Layout::Grid, 4, ButtonStyle::None);
        doc.bgcolor = 0xFFFFFF;
        doc.textcolor = 0x000000;
        doc.tvsafe = tvsafe;
        const fs::path out = dir / (tvsafe ? "safe" : "plain");
        const DiscMenuResult result = ExportDiscMenu(doc, out.string());
        ASSERT_EQ(result.subpicture, SubpictureOutcome::Added) << result.note;
        EXPECT_NE(result.note.find("cannot see which item is selected"), std::string::npos)
            << result.note;
        std::vector<std::uint8_t> luma;
        ASSERT_EQ(firstPicture(out / kDiscMenuStreamFile, &luma).width(), 720);
        ASSERT_EQ(luma.size(), 720u * 576u);
        EXPECT_NEAR(luma[10 * 720 + 360], 235, 1); // the background above the title
        EXPECT_LE(*std::min_element(luma.begin(), luma.end()), 18); // the black text
    }
    MenuDocument bare = makeMenu(3, Layout::Grid, 4, ButtonStyle::Underline);
    EXPECT_EQ(DiscButtonStyleWarning(bare), "");
    bare.numbers = false;
    bare.items[2].menucaption.clear();
    EXPECT_NE(DiscButtonStyleWarning(bare).find("item 3 has none"), std::string::npos);
}

TEST_F(DiscTest, VcdSizeWritesTheStillOnly)
{
    const MenuDocument doc = makeMenu(1, Layout::Grid, 6);
    const DiscMenuResult result = ExportDiscMenu(doc, (dir / "vcd").string());
    EXPECT_EQ(result.subpicture, SubpictureOutcome::NotForVcd);
    EXPECT_NE(result.note.find("VCD"), std::string::npos);
    ASSERT_EQ(result.written.size(), 1u);
    EXPECT_EQ(fs::path(result.written[0]).filename(), kDiscStillFile);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "vcd"), fs::directory_iterator()), 1);
}

// --- When spumux is not there or lets us down -------------------------------------------

// Puts `script` as an executable shell script at `path`.
void writeScript(const fs::path& path, const std::string& script)
{
    std::ofstream(path) << "#!/bin/sh\n" << script << "\n";
    fs::permissions(path, fs::perms::owner_all);
}

// Whether the process is gone (or only waits to be reaped by init).
bool processGone(pid_t pid)
{
    const std::string stat = readText("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t paren = stat.rfind(')');
    return stat.empty() || (paren != std::string::npos && stat.substr(paren + 2, 1) == "Z");
}

TEST_F(DiscTest, WithoutSpumuxEverythingElseIsWrittenAndTheWayToFinishIsSaid)
{
    const MenuDocument doc = makeMenu(3, Layout::List, 4);
    // A spumux on PATH that cannot be run is no missing spumux: the system's reason is said.
    fs::create_directories(dir / "bin");
    std::ofstream(dir / "bin" / "spumux") << "#!/bin/sh\n";
    fs::permissions(dir / "bin" / "spumux", fs::perms::owner_read | fs::perms::owner_write);
    const std::string path = std::getenv("PATH");
    ::setenv("PATH", (dir / "bin").string().c_str(), 1);
    const struct {
        std::string program;
        SubpictureOutcome outcome;
        const char* says;
    } cases[] = {
        {"tavrel-no-such-spumux", SubpictureOutcome::SpumuxMissing,
         "spumux was not found (install the Debian package dvdauthor)"},
        {(dir / "missing" / "spumux").string(), SubpictureOutcome::SpumuxMissing,
         "spumux was not found"},
        {"spumux", SubpictureOutcome::SpumuxFailed, "cannot start spumux: Permission denied"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program);
        // What an earlier 16:9 export left, spumux's output among it, must not stay beside
        // the new 4:3 files.
        const fs::path out = dir / "out";
        fs::remove_all(out);
        fs::create_directories(out);
        const std::vector<std::string> earlier = {kDiscMenuStreamFile, kDiscHighlightLetterboxFile,
                                                  kDiscSelectLetterboxFile,
                                                  kDiscSpumuxLetterboxFile};
        for (const std::string& name : earlier)
            std::ofstream(out / name) << "from an earlier export";
        const DiscMenuResult result = ExportDiscMenu(doc, out.string(), {c.program, 10'000, {}});
        EXPECT_EQ(result.subpicture, c.outcome);
        EXPECT_NE(result.note.find(c.says), std::string::npos) << result.note;
        EXPECT_NE(result.note.find("spumux spumux.xml < menu_bg.mpg > menu.mpg"),
                  std::string::npos);
        EXPECT_NE(result.note.find("Removed what an earlier export left"), std::string::npos);
        EXPECT_EQ(result.written.size(), 6u);
        EXPECT_EQ(std::set<std::string>(result.removed.begin(), result.removed.end()),
                  std::set<std::string>(earlier.begin(), earlier.end()));
        for (const std::string& name : earlier)
            EXPECT_FALSE(fs::exists(out / name)) << name;
        EXPECT_TRUE(fs::is_regular_file(out / kDiscBackgroundStreamFile));
        expectNoLeftovers(out);
    }
    ::setenv("PATH", path.c_str(), 1);
}

// spumux exits 0 after dropping the picture, and a broken or hostile one may say anything:
// only a menu.mpg that reads back as the menu with its buttons is kept.
TEST_F(DiscTest, ASpumuxThatFailsOrLiesLeavesNoMenuStream)
{
    const MenuDocument doc = makeMenu(3, Layout::Grid, 2);
    const fs::path out = dir / "out";
    fs::create_directories(out);
    const std::string claims = "echo 'INFO: 1 subtitles added, 0 subtitles skipped' >&2";
    struct Fake {
        const char* name;
        std::string script;
        int timeoutMs;
        const char* expected;
        bool cancel = false;
    };
    const Fake fakes[] = {
        {"skips", "cat; echo 'INFO: 0 subtitles added, 1 subtitles skipped, stream: 32' >&2",
         20'000, "did not add the subpicture"},
        {"refuses", "head -c 5000; echo 'ERR:  Cannot pick button masks' >&2; exit 1", 20'000,
         "ERR:  Cannot pick button masks"},
        {"escapes", "printf 'ERR: \\033]0;owned\\007\\033[2J\\n' >&2; exit 1", 20'000,
         "ERR: \\x1b]0;owned\\x07\\x1b[2J"},
        {"writes nothing", claims, 20'000, "menu.mpg is empty"},
        {"copies", "cat; head -c 4096 /dev/zero; " + claims, 20'000,
         "has 0 subpicture streams instead of 1"},
        {"floods", "cat /dev/zero; " + claims, 60'000, "it wrote more than 64 MB"},
        {"hangs", "exec sleep 30", 500, "did not finish in time"},
        {"is cancelled", "exec sleep 30", 60'000, "it was cancelled", true},
        {"skips one",
         "env PATH=" + ShellQuoted(std::getenv("PATH")) + " spumux \"$@\" 2>/dev/null; " +
             "echo 'INFO: 1 subtitles added, 1 subtitles skipped' >&2",
         20'000, "did not add the subpicture"},
        // Its own child holds the pipes; the whole group goes at the time limit.
        {"hangs in a child",
         "sleep 300 & echo $! > " + ShellQuoted((dir / "pid").string()) + "; wait", 500,
         "did not finish in time"},
    };
    for (const Fake& fake : fakes) {
        SCOPED_TRACE(fake.name);
        std::ofstream(out / kDiscMenuStreamFile) << "the menu.mpg of an earlier export";
        writeScript(dir / "fake", fake.script);
        const DiscMenuResult result =
            ExportDiscMenu(doc, out.string(),
                           {(dir / "fake").string(), fake.timeoutMs, [&] { return fake.cancel; }});
        EXPECT_EQ(result.subpicture, SubpictureOutcome::SpumuxFailed);
        EXPECT_NE(result.note.find(fake.expected), std::string::npos) << result.note;
        EXPECT_EQ(result.note.find_first_of("\x1b\x07"), std::string::npos);
        EXPECT_FALSE(fs::exists(out / kDiscMenuStreamFile));
        expectNoLeftovers(out);
    }
    const std::string pid = readText(dir / "pid");
    ASSERT_FALSE(pid.empty());
    // A killed process takes a moment to be gone.
    for (int i = 0; i < 200 && !processGone(std::stoi(pid)); ++i)
        ::usleep(5000);
    EXPECT_TRUE(processGone(std::stoi(pid)));
}

// Ended by SIGTERM while spumux runs, we take its whole process group with us.
TEST_F(DiscTest, OurEndEndsTheChildGroup)
{
    writeScript(dir / "slow",
                "sleep 300 & echo $! > " + ShellQuoted((dir / "pid").string()) + "; wait");
    const pid_t runner = ::fork();
    ASSERT_GE(runner, 0);
    if (runner == 0) {
        ChildRequest request;
        request.program = (dir / "slow").string();
        request.timeoutMs = 60'000;
        RunChild(request);
        ::_exit(0);
    }
    for (int i = 0; i < 2000 && readText(dir / "pid").empty(); ++i)
        ::usleep(5000);
    const std::string pid = readText(dir / "pid");
    ::kill(runner, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(runner, &status, 0), runner);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    ASSERT_FALSE(pid.empty());
    for (int i = 0; i < 200 && !processGone(std::stoi(pid)); ++i)
        ::usleep(5000);
    EXPECT_TRUE(processGone(std::stoi(pid)));
}

TEST_F(DiscTest, AMenuWithoutItemsOrAFolderThatCannotBeMadeIsAClearError)
{
    MenuDocument empty = makeMenu(3, Layout::Grid, 0);
    EXPECT_THROW(ExportDiscMenu(empty, (dir / "empty").string()), std::runtime_error);
    EXPECT_TRUE(fs::is_empty(dir / "empty"));

    const MenuDocument doc = makeMenu(3, Layout::Grid, 2);
    std::ofstream(dir / "file") << "x";
    try {
        ExportDiscMenu(doc, (dir / "file" / "sub").string());
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("Cannot create the folder"), std::string::npos);
    }
}
