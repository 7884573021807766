#include "media/av_ptr.h"
#include "media/ffmpeg_loader.h"
#include "media/unicode_protocol.h"

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <fstream>

using namespace vexa;
namespace fs = std::filesystem;

namespace {

// Runs a test body under a given character set, restoring the old one.
class LocaleScope {
public:
    explicit LocaleScope(const char* name) : old_(std::setlocale(LC_CTYPE, nullptr))
    {
        if (!std::setlocale(LC_CTYPE, name))
            ADD_FAILURE() << "locale " << name << " missing";
    }
    ~LocaleScope() { std::setlocale(LC_CTYPE, old_.c_str()); }

private:
    std::string old_;
};

std::string Scratch(const std::string& name)
{
    const fs::path dir = fs::path(VEXA_TEST_BINARY_DIR) / "unicode";
    fs::create_directories(dir);
    return (dir / name).string();
}

}  // namespace

TEST(UnicodeNames, OnlyListedProtocolsCountAsProtocols)
{
    const std::pair<const char*, bool> cases[] = {
        {"/tmp/clip.avi", false},
        {"http://host/视频.avi", true},
        {"udp:视频", true},
        {"pipe:0", true},
        {"unicode:utf8:/tmp/视频.avi", true},
        {"HTTP://host/视频.avi", false},  // protocol names are case-sensitive
        {"C:\\视频.avi", false},          // a drive letter is no protocol
        {"file:/tmp/视频.avi", false},     // not in the list: a local name
        {"a:b.mp4", false},
        {"rtsp://host/x", false},
    };
    for (const auto& [name, carries] : cases)
        EXPECT_EQ(CarriesProtocol(name), carries) << name;
}

// A file name is bytes: whatever the locale, it reaches the libraries
// unchanged behind "file:", and comes back the same.
TEST(UnicodeNames, EncodeAndDecodeKeepTheBytes)
{
    const std::string names[] = {
        "/媒体/第一集 (1).mp4", "/tmp/plain.mp4", "a:b.mp4", "-leading-dash.mp4", "/tmp/bad\xff\xfe name.mp4",
        "/tmp/caf\xc3\xa9.mp4", "relative/视频.avi", "file:odd.mp4", "/tmp/" + std::string(3000, 'a') + "视频"};
    for (const char* locale : {"C", "C.UTF-8"}) {
        LocaleScope scope(locale);
        for (const std::string& name : names) {
            EXPECT_EQ(EncodeLibFileName(name), "file:" + name) << locale << " " << name;
            EXPECT_EQ(DecodeLibFileName(EncodeLibFileName(name)), name) << locale << " " << name;
        }
        EXPECT_EQ(EncodeLibFileName("http://host/a.mp4"), "http://host/a.mp4");
        const std::string unicodeName = std::string(kUnicodePrefix) + "/媒体/a.mp4";
        EXPECT_EQ(EncodeLibFileName(unicodeName), unicodeName);
        EXPECT_EQ(DecodeLibFileName(unicodeName), "/媒体/a.mp4");
        EXPECT_EQ(DecodeLibFileName("/tmp/plain.mp4"), "/tmp/plain.mp4");
        EXPECT_EQ(DecodeLibFileName("unicode:utf8:"), "unicode:utf8:");  // 13 bytes: no name follows
        EXPECT_EQ(DecodeLibFileName("unicode:utf8:x"), "x");
    }
}

TEST(UnicodeProtocol, FiveOperations)
{
    const std::string url = std::string(kUnicodePrefix) + Scratch("协议测试.bin");
    int h = -1;
    ASSERT_EQ(UnicodeOpen(url, 1, h), 0);
    const uint8_t data[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(UnicodeWrite(h, data, 10), 10);
    EXPECT_EQ(UnicodeClose(h), 0);

    ASSERT_EQ(UnicodeOpen(url, 0, h), 0);
    uint8_t buf[4];
    EXPECT_EQ(UnicodeRead(h, buf, 3), 3);
    EXPECT_EQ(UnicodeSeek(h, 0, 0x10000), 10);  // the size...
    EXPECT_EQ(UnicodeRead(h, buf, 1), 1);        // ...without moving the file pointer
    EXPECT_EQ(buf[0], 4);
    EXPECT_EQ(UnicodeSeek(h, -2, SEEK_END), 8);
    EXPECT_EQ(UnicodeSeek(h, -1, SEEK_CUR), 7);
    EXPECT_EQ(UnicodeSeek(h, 1, SEEK_SET), 1);
    EXPECT_EQ(UnicodeSeek(h, -5, SEEK_SET), -1);
    EXPECT_EQ(UnicodeWrite(h, data, 1), -1);  // opened for reading only
    EXPECT_EQ(UnicodeRead(h, buf, 4), 4);
    EXPECT_EQ(UnicodeSeek(h, 0, SEEK_END), 10);
    EXPECT_EQ(UnicodeRead(h, buf, 4), 0);  // end of file
    EXPECT_EQ(UnicodeClose(h), 0);

    ASSERT_EQ(UnicodeOpen(url, 2, h), 0);  // read-write truncates
    EXPECT_EQ(UnicodeSeek(h, 0, 0x10000), 0);
    UnicodeClose(h);
    EXPECT_EQ(UnicodeOpen(std::string(kUnicodePrefix) + "/no/such/文件", 0, h), -2);
}

TEST(UnicodeProtocol, ChineseNamedClipOpensAndItsStreamsAreRead)
{
    LocaleScope c("C");  // a character set that cannot express the name
    std::string err;
    ASSERT_TRUE(LoadAVLibSet(kProbeLibraries, "", err)) << err;
    const std::string name = std::string(VEXA_TEST_MEDIA_DIR) + "/中文视频文件.mp4";
    const std::string lib = kUnicodePrefix + name;

    AVFormatContext* raw = nullptr;
    ASSERT_EQ(OpenInputFile(&raw, lib, nullptr, nullptr), 0);
    InputContextPtr ctx(raw);
    ASSERT_GE(FindStreamInfo(ctx.get(), nullptr), 0);
    ASSERT_EQ(ctx->nb_streams, 2u);
    EXPECT_EQ(ctx->streams[0]->codecpar->codec_id, AV_CODEC_ID_H264);
    EXPECT_EQ(ctx->streams[1]->codecpar->codec_id, AV_CODEC_ID_AAC);
    EXPECT_NEAR(ctx->duration / 1e6, 2.0, 0.1);
    EXPECT_EQ(DecodeLibFileName(ctx->url), name);

    // Packets read through our own I/O.
    PacketPtr pkt(AV.av_packet_alloc());
    int packets = 0;
    while (AV.av_read_frame(ctx.get(), pkt.get()) >= 0) {
        ++packets;
        AV.av_packet_unref(pkt.get());
    }
    EXPECT_GT(packets, 50);
}

TEST(UnicodeProtocol, MissingAndBrokenInputsFailCleanly)
{
    LocaleScope c("C");
    std::string err;
    ASSERT_TRUE(LoadAVLibSet(kProbeLibraries, "", err)) << err;
    const std::string dir = VEXA_TEST_MEDIA_DIR;
    for (const std::string& name : {dir + "/不存在.mp4", dir + "/empty.mp4", dir + "/random.avi", dir + "/truncated.mp4"}) {
        AVFormatContext* raw = nullptr;
        EXPECT_LT(OpenInputFile(&raw, EncodeLibFileName(name), nullptr, nullptr), 0) << name;
        EXPECT_EQ(raw, nullptr);
    }
    // The same file under a Chinese name fails the same way through the protocol.
    const std::string copy = Scratch("损坏.mp4");
    fs::copy_file(dir + "/truncated.mp4", copy, fs::copy_options::overwrite_existing);
    AVFormatContext* raw = nullptr;
    EXPECT_EQ(OpenInputFile(&raw, kUnicodePrefix + copy, nullptr, nullptr), AVERROR_INVALIDDATA);
    EXPECT_EQ(OpenInputFile(&raw, EncodeLibFileName(copy), nullptr, nullptr), AVERROR_INVALIDDATA);
}

TEST(UnicodeProtocol, OutputThroughTheProtocol)
{
    LocaleScope c("C");
    std::string err;
    ASSERT_TRUE(LoadAVLibSet(kProbeLibraries, "", err)) << err;
    const std::string name = Scratch("输出.bin");
    AVFormatContext* raw = nullptr;
    ASSERT_GE(AV.avformat_alloc_output_context2(&raw, nullptr, "matroska", nullptr), 0);
    OutputContextPtr oc(raw);
    ASSERT_EQ(OpenOutputIO(oc.get(), kUnicodePrefix + name), 0);
    AV.avio_write(oc->pb, reinterpret_cast<const unsigned char*>("hello"), 5);
    CloseOutputIO(oc.get());
    EXPECT_EQ(oc->pb, nullptr);
    std::ifstream in(name, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "hello");
    EXPECT_LT(OpenOutputIO(oc.get(), kUnicodePrefix + std::string("/no/such/目录/x.mkv")), 0);
    EXPECT_LT(OpenOutputIO(oc.get(), EncodeLibFileName("/no/such/目录/x.mkv")), 0);
}
