// The capture component: driver list, opening failures with their texts, the rate properties,
// and the synthetic camera in every layout.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "video/video_cap.h"
#include "video/video_codec.h"
#include "video/yuv_converts.h"

using namespace orb::video;

TEST(VideoCapture, TheTestPictureIsAChoiceNeverADevice) {
    unsetenv("ORB_SYNTHETIC_CAMERA");
    auto dir = std::filesystem::temp_directory_path() / ("orb-video-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "video0") << "not a device";
    auto list = ListCaptureDrivers(dir.string());
    auto selectable = SelectableCaptureDrivers(dir.string());
    std::filesystem::remove_all(dir);
    EXPECT_TRUE(list.empty());
    // The settings offer it after the devices.
    ASSERT_EQ(selectable.size(), 1u);
    EXPECT_TRUE(selectable[0].synthetic);
    EXPECT_EQ(selectable[0].name, kSyntheticCameraName);
    for (const auto& d : ListCaptureDrivers()) EXPECT_FALSE(d.synthetic);

    const std::vector<TCaptureDriver> one{{"Camera", "/dev/video0", false, 0}};
    EXPECT_FALSE(ChooseCaptureDriver({}, 0, false));
    EXPECT_FALSE(ChooseCaptureDriver(one, 1, false));
    EXPECT_EQ(ChooseCaptureDriver(one, 0, false)->path, "/dev/video0");
    EXPECT_TRUE(ChooseCaptureDriver({}, 0, true)->synthetic);
    setenv("ORB_SYNTHETIC_CAMERA", "Y8", 1);
    auto forced = ChooseCaptureDriver(one, 0, false);
    unsetenv("ORB_SYNTHETIC_CAMERA");
    ASSERT_TRUE(forced);
    EXPECT_TRUE(forced->synthetic);
    EXPECT_EQ(forced->layout, MakeFourcc('Y', '8', ' ', ' '));
}

TEST(VideoCapture, OpeningFailuresSayWhy) {
    TVideoCap cap({{"Gone", "/nonexistent/video4", false, 0}, {kSyntheticCameraName, "", true, 0}});
    EXPECT_EQ(cap.DriverIndex(), -1);
    try {
        cap.SetDriverOpen(true);
        FAIL();
    } catch (const ENoDriverException& e) {
        EXPECT_STREQ(e.what(), "No capture driver selected");
    }
    EXPECT_THROW(cap.VideoFormatHeader(), ENotOpen);
    EXPECT_THROW(cap.GetDriverCaps(), ENotOpen);
    EXPECT_THROW(cap.Status(), ENotOpen);
    EXPECT_STREQ(ENotOpen().what(), "Driver not Open");
    cap.SetDriverIndex(0);
    try {
        cap.SetDriverOpen(true);
        FAIL();
    } catch (const ENotConnectException& e) {
        EXPECT_STREQ(e.what(), "Unable to initialize the camera. It is either not present or in use. \r\nPlease make "
                               "sure your camera is plugged in and that no other application is using it at the moment.");
    }
    EXPECT_FALSE(cap.DriverOpen());
    cap.SetDriverIndex(7);
    EXPECT_EQ(cap.DriverIndex(), -1);
    EXPECT_EQ(cap.DriverName(), "");
    cap.SetDriverName(kSyntheticCameraName);
    EXPECT_EQ(cap.DriverIndex(), 1);
}

TEST(VideoCapture, RateProperties) {
    TVideoCap cap(std::vector<TCaptureDriver>{});
    cap.SetMicroSecPerFrame(1000);
    EXPECT_EQ(cap.MicroSecPerFrame(), 33333);
    cap.SetFrameRate(60);  // the rate is written without the floor
    EXPECT_EQ(cap.MicroSecPerFrame(), 16667);
    EXPECT_EQ(cap.FrameRate(), 60);
    cap.SetFrameRate(0);
    EXPECT_EQ(cap.MicroSecPerFrame(), 16667);
    cap.SetPreviewRate(0);
    EXPECT_EQ(cap.PreviewRate(), 1);
    cap.SetPreviewRate(99);
    EXPECT_EQ(cap.PreviewRate(), 30);
}

TEST(VideoCapture, SyntheticCameraInEveryLayout) {
    TVideoCap cap({{kSyntheticCameraName, "", true, 0}});
    cap.SetDriverIndex(0);
    cap.SetDriverOpen(true);
    std::vector<std::vector<uint8_t>> got;
    cap.OnVideoStream = [&](const uint8_t* d, size_t n) { got.emplace_back(d, d + n); };
    const char* layouts[] = {"YUY2", "UYVY", "Y41P", "YVU9", "I420", "Y8  ", "Y211"};
    for (const char* l : layouts) {
        SCOPED_TRACE(l);
        TBitmapInfoHeader f;
        f.biWidth = 176;
        f.biHeight = 144;
        f.biCompression = MakeFourcc(l[0], l[1], l[2], l[3]);
        cap.SetVideoFormat(f);
        auto now = cap.VideoFormatHeader();
        EXPECT_EQ(now.biWidth, 176);
        EXPECT_EQ(now.biCompression, f.biCompression);
        got.clear();
        ASSERT_TRUE(cap.GrabFrame());
        ASSERT_TRUE(cap.GrabFrame());
        ASSERT_EQ(got.size(), 2u);
        ASSERT_EQ(got[0].size(), YuvFrameBytes(YuvFormatOf(f.biCompression), 144, 176));
        EXPECT_NE(got[0], got[1]);  // the picture moves
    }
    TBitmapInfoHeader rgb32;
    rgb32.biWidth = 160;
    rgb32.biHeight = 120;
    rgb32.biBitCount = 32;
    EXPECT_THROW(cap.SetVideoFormat(rgb32), EFalseFormat);
    rgb32.biBitCount = 24;
    cap.SetVideoFormat(rgb32);
    // The format outlives closing and opening the driver.
    cap.SetDriverOpen(false);
    cap.SetDriverOpen(true);
    EXPECT_EQ(cap.VideoFormatHeader().biCompression, 0u);
    EXPECT_EQ(cap.VideoFormatHeader().biWidth, 160);

    std::atomic<int> frames{0};
    cap.OnVideoStream = [&](const uint8_t*, size_t n) { if (n == 160u * 3 * 120) ++frames; };
    cap.SetFrameRate(30);
    cap.StartCapture();
    for (int i = 0; i < 400 && frames < 3; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(cap.Status().capturingNow);
    cap.StopCapture();
    EXPECT_GE(frames.load(), 3);
    // What the driver reports: the size and layout, the frames delivered, and only the dialogs
    // it has something for (the test picture has formats and sizes, but no controls).
    const TCaptureStatus status = cap.Status();
    EXPECT_EQ(status.imageWidth, 160);
    EXPECT_EQ(status.imageHeight, 120);
    EXPECT_EQ(status.compression, 0u);
    EXPECT_FALSE(status.capturingNow);
    EXPECT_GE(status.currentVideoFrame, uint64_t(frames.load()));
    EXPECT_EQ(cap.GetDriverCaps(), (TCaptureDriverCaps{true, false, false, true, false}));
    EXPECT_TRUE(cap.Controls().empty());
    EXPECT_EQ(cap.FormatChoices().size(), 40u);
    int after = frames;
    std::this_thread::sleep_for(std::chrono::milliseconds(80));
    EXPECT_EQ(frames.load(), after);
}

TEST(VideoCapture, PreviewPlacementAndSmallProperties) {
    struct Case { int cw, ch, pw, ph; bool scale, prop; TPreviewRect want; };
    const Case cases[] = {
        {100, 100, 160, 120, false, false, {0, 0, 160, 120}},
        {100, 100, 160, 120, true, false, {0, 0, 100, 100}},
        {100, 100, 160, 120, true, true, {0, 0, 100, 75}},   // taller than 4:3: full width
        {400, 120, 160, 120, true, true, {0, 0, 160, 120}},  // wider: full height
        {100, 100, 0, 0, true, true, {0, 0, 100, 100}},
    };
    for (const Case& c : cases) EXPECT_EQ(PreviewRect(c.cw, c.ch, c.pw, c.ph, c.scale, c.prop), c.want);

    TVideoCap cap(std::vector<TCaptureDriver>{});
    for (auto [in, want] : {std::pair{0, 0}, {-5, 0}, {1, 1800}, {5000, 5000}, {999999, 324000}}) {
        cap.SetCapIndexSize(in);
        EXPECT_EQ(cap.CapIndexSize(), want);
    }
    EXPECT_THROW(cap.SetVideoOverlay(true), ENoOverlayException);
    EXPECT_EQ(TAudioFormat{}.SamplesPerSecond(), 8000);
    EXPECT_EQ((TAudioFormat{1, 3, 16}.SamplesPerSecond()), 44100);

    TBitmapInfoHeader grey;
    grey.biWidth = 2;
    grey.biHeight = 2;
    grey.biCompression = MakeFourcc('Y', '8', ' ', ' ');
    const uint8_t pixels[4] = {10, 20, 30, 40};
    std::vector<uint32_t> rgb;
    ASSERT_TRUE(CapturePictureToRgb(grey, pixels, rgb));
    EXPECT_EQ(rgb[0], 0xFF0A0A0Au);  // top-down: the first source row stays on top
    EXPECT_FALSE(CapturePictureToRgb(grey, std::span(pixels).first(3), rgb));
}

TEST(VideoCapture, V4L2BuffersIntoTheComponentsLayouts) {
    const uint32_t yuyv = MakeFourcc('Y', 'U', 'Y', 'V'), bgr = MakeFourcc('B', 'G', 'R', '3'),
                   mjpg = MakeFourcc('M', 'J', 'P', 'G');
    EXPECT_EQ(TV4L2Picture::CompressionOf(yuyv), MakeFourcc('Y', 'U', 'Y', '2'));
    EXPECT_EQ(TV4L2Picture::CompressionOf(bgr), 0u);
    EXPECT_EQ(TV4L2Picture::CompressionOf(MakeFourcc('N', 'V', '1', '2')), 0xFFFFFFFFu);

    TV4L2Picture pic;
    TBitmapInfoHeader f;
    f.biWidth = 4;
    f.biHeight = 2;
    f.biCompression = MakeFourcc('Y', 'U', 'Y', '2');
    pic.Setup(yuyv, 12, f);  // the driver pads each line by 4 bytes
    std::vector<uint8_t> in(24), out;
    for (size_t i = 0; i < in.size(); ++i) in[i] = uint8_t(i);
    ASSERT_TRUE(pic.Convert(in.data(), in.size(), out));
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7, 12, 13, 14, 15, 16, 17, 18, 19}));
    EXPECT_FALSE(pic.Convert(in.data(), 19, out));

    f.biWidth = 3;
    f.biCompression = 0;
    f.biBitCount = 24;
    pic.Setup(bgr, 9, f);
    std::vector<uint8_t> rows(18);
    for (size_t i = 0; i < rows.size(); ++i) rows[i] = uint8_t(i + 1);
    ASSERT_TRUE(pic.Convert(rows.data(), rows.size(), out));
    ASSERT_EQ(out.size(), 24u);  // two 12-byte lines, bottom-up
    EXPECT_EQ(out[0], 10);       // the second camera line comes first
    EXPECT_EQ(out[12], 1);

    // A motion-JPEG camera: its pictures arrive as YUY2 of the same size.
    TVideoCoDec jpeg;
    TBitmapInfoHeader rgb, coded;
    rgb.biWidth = 16;
    rgb.biHeight = 16;
    rgb.biBitCount = 32;
    coded = rgb;
    coded.biCompression = mjpg;
    ASSERT_TRUE(jpeg.InitCompressor(rgb, coded, 1, 9000));
    jpeg.SetDataRate(0, 200000, 0);
    ASSERT_TRUE(jpeg.StartCompress());
    std::vector<uint32_t> red(256, 0x00E01010);
    bool key = false;
    auto data = jpeg.CompressFrame({reinterpret_cast<const uint8_t*>(red.data()), red.size() * 4}, key);
    ASSERT_FALSE(data.empty());
    TBitmapInfoHeader cam;
    cam.biWidth = 16;
    cam.biHeight = 16;
    cam.biCompression = MakeFourcc('Y', 'U', 'Y', '2');
    pic.Setup(mjpg, 0, cam);
    ASSERT_TRUE(pic.Convert(data.data(), data.size(), out));
    ASSERT_EQ(out.size(), 512u);
    std::vector<uint32_t> back(256);
    ASSERT_TRUE(ConvertYuvFrame(kConvYUY2, out, back, 16, 16));
    EXPECT_NEAR(int((back[100] >> 16) & 0xFF), 0xE0, 12);
    EXPECT_NEAR(int(back[100] & 0xFF), 0x10, 12);
    EXPECT_FALSE(pic.Convert(data.data(), data.size() / 2, out));
}
