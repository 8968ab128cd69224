#include <gtest/gtest.h>

#include "base/process_state.h"
#include "ui/dialog_placement.h"
#include "window_probe.h"

namespace {

RECT Rect(int left, int top, int right, int bottom)
{
    RECT r = {left, top, right, bottom};
    return r;
}

// Top-left corner of a width x height window placed in the work area.
POINT Place(int width, int height, const RECT& workArea)
{
    return PlaceInWorkArea(Rect(500, 500, 500 + width, 500 + height), workArea);
}

TEST(PlaceInWorkArea, SmallerWindowIsCentred)
{
    POINT p = Place(300, 200, Rect(0, 0, 1024, 738));
    EXPECT_EQ(p.x, 362);
    EXPECT_EQ(p.y, 269);
}

TEST(PlaceInWorkArea, HalvesAreTruncated)
{
    // 1025 / 2 = 512 and 301 / 2 = 150.
    POINT p = Place(301, 201, Rect(0, 0, 1025, 769));
    EXPECT_EQ(p.x, 362);
    EXPECT_EQ(p.y, 284);
    // Toward zero on a monitor left of and above the primary one: -1025 / 2 = -512.
    p = Place(301, 201, Rect(-1025, -769, 0, 0));
    EXPECT_EQ(p.x, -662);
    EXPECT_EQ(p.y, -484);
}

TEST(PlaceInWorkArea, CentredInTheWorkAreaNotTheScreen)
{
    // Task bar at the top, then at the left.
    POINT p = Place(300, 200, Rect(0, 30, 1024, 768));
    EXPECT_EQ(p.x, 362);
    EXPECT_EQ(p.y, 299);
    p = Place(300, 200, Rect(60, 0, 1024, 768));
    EXPECT_EQ(p.x, 392);
    EXPECT_EQ(p.y, 284);
}

TEST(PlaceInWorkArea, TallerWindowKeepsItsBottomOnTheWorkAreaBottom)
{
    RECT work = Rect(0, 30, 1024, 768);
    POINT p = Place(300, 1000, work);
    EXPECT_EQ(p.y + 1000, work.bottom);
    EXPECT_LT(p.y, work.top);
    EXPECT_EQ(p.x, 362);
}

TEST(PlaceInWorkArea, WiderWindowKeepsItsRightEdgeOnTheWorkAreaRight)
{
    RECT work = Rect(60, 0, 1024, 768);
    POINT p = Place(2000, 200, work);
    EXPECT_EQ(p.x + 2000, work.right);
    EXPECT_LT(p.x, work.left);
    EXPECT_EQ(p.y, 284);
}

TEST(PlaceInWorkArea, WindowOfTheWorkAreaSizeFillsIt)
{
    RECT work = Rect(60, 30, 1024, 768);
    POINT p = Place(964, 738, work);
    EXPECT_EQ(p.x, 60);
    EXPECT_EQ(p.y, 30);
    // One pixel more each way: the odd half would stick out at the top left.
    p = Place(965, 739, work);
    EXPECT_EQ(p.x + 965, work.right);
    EXPECT_EQ(p.y + 739, work.bottom);
}

class DialogPlacement : public ::testing::Test {
protected:
    void SetUp() override
    {
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &saved_, 0);
        header_ = {};
        payloadHeader = NULL;
    }
    void TearDown() override
    {
        if (window_ != NULL)
            DestroyWindow(window_);
        SystemParametersInfoA(SPI_SETWORKAREA, 0, &saved_, 0);
        payloadHeader = NULL;
    }
    void MakeWindow(int width, int height, const char* title)
    {
        window_ = CreateWindowExA(0, "#32770", title, WS_POPUP | WS_CAPTION, 3, 4, width, height, NULL, NULL,
                                  NULL, NULL);
        ASSERT_NE(window_, nullptr);
    }
    void SetWorkArea(const RECT& area) { ASSERT_TRUE(SystemParametersInfoA(SPI_SETWORKAREA, 0, (void*)&area, 0)); }
    RECT WindowRect()
    {
        RECT r;
        GetWindowRect(window_, &r);
        return r;
    }

    RECT saved_ = {};
    PayloadHeader header_;
    HWND window_ = NULL;
};

TEST_F(DialogPlacement, MovesTheRealWindowWithoutResizingIt)
{
    RECT area = Rect(saved_.left + 60, saved_.top + 30, saved_.right, saved_.bottom);
    SetWorkArea(area);
    MakeWindow(301, 201, "");
    PlaceDialogAndSetTitle(window_);
    RECT r = WindowRect();
    POINT expected = PlaceInWorkArea(r, area);
    EXPECT_EQ(r.left, expected.x);
    EXPECT_EQ(r.top, expected.y);
    EXPECT_EQ(r.left, (area.left + area.right) / 2 - 150);
    EXPECT_EQ(r.right - r.left, 301);
    EXPECT_EQ(r.bottom - r.top, 201);
    EXPECT_FALSE(IsWindowVisible(window_)) << "placing does not show it";
}

TEST_F(DialogPlacement, TallAndWideRealWindowsKeepBottomAndRightInside)
{
    RECT area = Rect(saved_.left + 100, saved_.top + 100, saved_.left + 400, saved_.top + 300);
    SetWorkArea(area);
    MakeWindow(200, 260, "");
    PlaceDialogAndSetTitle(window_);
    RECT r = WindowRect();
    EXPECT_EQ(r.bottom, area.bottom);
    EXPECT_LT(r.top, area.top);
    EXPECT_EQ(r.left, (area.left + area.right) / 2 - 100);
    DestroyWindow(window_);

    MakeWindow(360, 100, "");
    PlaceDialogAndSetTitle(window_);
    r = WindowRect();
    EXPECT_EQ(r.right, area.right);
    EXPECT_LT(r.left, area.left);
    EXPECT_EQ(r.top, (area.top + area.bottom) / 2 - 50);
}

TEST_F(DialogPlacement, TitleIsTheCaptionASpaceAndTheOwnTitle)
{
    MakeWindow(100, 100, "");
    PlaceDialogAndSetTitle(window_);
    EXPECT_EQ(WindowTextOf(window_), "Morlu2のｲﾝｽﾄｰﾙ ");
    DestroyWindow(window_);

    lstrcpyA(header_.versionText, "1.10");
    payloadHeader = &header_;
    MakeWindow(100, 100, "ｼｮｰﾄｶｯﾄ");
    PlaceDialogAndSetTitle(window_);
    EXPECT_EQ(WindowTextOf(window_), "Morlu2 1.10 のｲﾝｽﾄｰﾙ ｼｮｰﾄｶｯﾄ");
}

TEST_F(DialogPlacement, OverlongTitleIsCutAtWholeCharacters)
{
    MakeWindow(100, 100, std::string(600, 't').c_str());
    PlaceDialogAndSetTitle(window_);
    std::string title = WindowTextOf(window_);
    EXPECT_EQ(title.size(), 511u);
    EXPECT_EQ(title.substr(0, 15), "Morlu2のｲﾝｽﾄｰﾙ ");
    DestroyWindow(window_);

    // A caption of 19 bytes and the space leave 491 bytes: 245 kanji, and not half of the next.
    lstrcpyA(header_.versionText, "1.1");
    payloadHeader = &header_;
    std::string kanji;
    for (int i = 0; i < 300; ++i)
        kanji += "表";
    MakeWindow(100, 100, kanji.c_str());
    PlaceDialogAndSetTitle(window_);
    title = WindowTextOf(window_);
    EXPECT_EQ(title, "Morlu2 1.1 のｲﾝｽﾄｰﾙ " + kanji.substr(0, 490));
}

} // namespace
