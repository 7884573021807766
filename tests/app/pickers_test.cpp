// The category, format and option pickers as the user drives them.
#include "gui_fixture.h"

#include "app/office_combo_box.h"
#include "catalogue/job_columns.h"

#include <QAbstractItemView>
#include <QComboBox>

namespace vexa::app::test {
namespace {

using namespace catalogue;

QString Shown(TMainWindow& w, TOptionKind kind)
{
    return w.optionPicker(kind)->currentText();
}

TEST_F(GuiTest, CommonAudioListsThirteenFormatsAndDisablesTheVideoPickers)
{
    window_ = MakeWindow();
    TMainWindow& w = *window_;
    AddJob(w, "clip");
    w.selectRow(0);
    // The user's pick arrives through the widget's own signal.
    emit w.categoryPicker()->activated(1);
    EXPECT_EQ(w.categoryPicker()->currentIndex(), 1);
    EXPECT_EQ(w.formatPicker()->count(), 13);
    EXPECT_EQ(w.formatPicker()->currentIndex(), 0);
    EXPECT_EQ(w.formatPicker()->currentText(), QStringLiteral("MP3 - MPEG Layer-3音频格式(*.mp3)"));
    EXPECT_EQ(w.formatPicker()->currentCaption(),
              QStringLiteral("最流行的音频格式,具有体积小,音质高的特点,几乎成为网上音乐的代名词"));

    EXPECT_EQ(Shown(w, okFrameSize), QStringLiteral("该格式无视频"));
    for (TOptionKind kind : {okVideoBitrate, okFrameRate, okAspect})
        EXPECT_EQ(Shown(w, kind), QStringLiteral("无视频")) << kind;
    for (TOptionKind kind : {okFrameSize, okVideoBitrate, okFrameRate, okAspect})
        EXPECT_FALSE(w.optionPicker(kind)->isEnabled()) << kind;
    EXPECT_EQ(Shown(w, okAudioBitrate), QStringLiteral("128 kbps"));
    EXPECT_EQ(Shown(w, okSampleRate), QStringLiteral("44100"));
    EXPECT_TRUE(w.optionPicker(okAudioBitrate)->isEnabled());

    const TJobList& jobs = w.jobModel().Jobs();
    EXPECT_EQ(jobs.Cell(0, jcOutputFile), "clip.mp3");
    EXPECT_EQ(jobs.Cell(0, jcPresetKey), "200");
    EXPECT_EQ(jobs.Cell(0, jcDisableVideo), "True");

    // A video format afterwards enables all six again.
    w.chooseCategory(0);
    for (int k = 0; k < kOptionKindCount; ++k)
        EXPECT_TRUE(w.optionPicker(static_cast<TOptionKind>(k))->isEnabled()) << k;
}

TEST_F(GuiTest, AudioOnlyVideoPickersStayOffWhenSettingsComeBack)
{
    window_ = MakeWindow();
    TMainWindow& w = *window_;
    w.chooseCategory(1);
    AddJob(w, "song");
    w.startRun();
    EXPECT_FALSE(w.optionPicker(okAudioBitrate)->isEnabled());
    w.engineTerminate(End(-1));
    EXPECT_TRUE(w.optionPicker(okAudioBitrate)->isEnabled());
    EXPECT_FALSE(w.optionPicker(okFrameSize)->isEnabled());
    EXPECT_TRUE(w.categoryPicker()->isEnabled());
}

TEST_F(GuiTest, ThreeGpOffersItsOwnLists)
{
    window_ = MakeWindow();
    TMainWindow& w = *window_;
    emit w.formatPicker()->activated(9);
    EXPECT_EQ(w.pickers().CurrentKey(), 109);
    const struct { TOptionKind kind; const char* shown; int count; } expected[] = {
        {okFrameSize, "176*144", 11},     {okVideoBitrate, "128 kbps", 15}, {okFrameRate, "12", 7},
        {okAudioBitrate, "12 kbps", 6},   {okSampleRate, "8000", 1},        {okAspect, "保持原视频模式", 2},
    };
    for (const auto& e : expected) {
        EXPECT_EQ(Shown(w, e.kind), QString::fromUtf8(e.shown)) << e.kind;
        EXPECT_EQ(w.optionPicker(e.kind)->count(), e.count) << e.kind;
    }
    EXPECT_EQ(w.optionPicker(okFrameSize)->itemText(0), QStringLiteral("112*96"));
}

TEST_F(GuiTest, ReselectingTheShownCategoryReturnsToFormatZero)
{
    window_ = MakeWindow();
    TMainWindow& w = *window_;
    AddJob(w, "clip");
    w.selectRow(0);
    w.chooseFormat(5);
    EXPECT_EQ(w.jobModel().Jobs().Cell(0, jcPresetKey), "105");
    EXPECT_EQ(w.jobModel().Jobs().Cell(0, jcOutputFile), "clip.mkv");
    emit w.categoryPicker()->activated(0);
    EXPECT_EQ(w.formatPicker()->currentIndex(), 0);
    EXPECT_EQ(w.jobModel().Jobs().Cell(0, jcPresetKey), "100");
    EXPECT_EQ(w.jobModel().Jobs().Cell(0, jcOutputFile), "clip.avi");
}

TEST_F(GuiTest, OptionPickersWriteTheSelectedRowOnlyWhenTheirTextChanges)
{
    window_ = MakeWindow();
    TMainWindow& w = *window_;
    w.chooseCategory(1);
    w.chooseFormat(12);  // AMR: the decimal kbps list
    AddJob(w, "voice");
    w.selectRow(0);
    w.chooseOption(okAudioBitrate, 0);
    const TJobList& jobs = w.jobModel().Jobs();
    EXPECT_EQ(Shown(w, okAudioBitrate), QStringLiteral("4.75 kbps"));
    EXPECT_EQ(jobs.Cell(0, jcAudioBitrate), "4750");
    EXPECT_EQ(w.pickers().Defaults().Video_AudioBitrate, 4750);
    EXPECT_EQ(jobs.Cell(0, jcOptionIndex).substr(4, 2), "00");

    // The same entry again changes no text: nothing is written.
    w.jobModel().SetCell(0, jcAudioBitrate, "marker");
    emit w.optionPicker(okAudioBitrate)->activated(0);
    EXPECT_EQ(jobs.Cell(0, jcAudioBitrate), "marker");

    // Without a selected row a pick changes neither the defaults nor a row.
    w.selectRow(-1);
    w.chooseOption(okAudioBitrate, 7);
    EXPECT_EQ(Shown(w, okAudioBitrate), QStringLiteral("12.2 kbps"));
    EXPECT_EQ(jobs.Cell(0, jcAudioBitrate), "marker");
    EXPECT_EQ(w.pickers().Defaults().Video_AudioBitrate, 4750);
}

TEST_F(GuiTest, SelectingARowShowsItsOwnChoicesAgain)
{
    window_ = MakeWindow();
    TMainWindow& w = *window_;
    w.chooseFormat(0);
    w.chooseOption(okAspect, 3);      // 37:20
    w.chooseOption(okFrameSize, 11);  // 640*480
    AddJob(w, "first");
    w.chooseCategory(1);
    AddJob(w, "second");

    w.selectRow(0);
    EXPECT_EQ(w.pickers().CurrentKey(), 100);
    EXPECT_EQ(w.categoryPicker()->currentIndex(), 0);
    EXPECT_EQ(Shown(w, okAspect), QStringLiteral("宽屏视频37:20模式"));
    EXPECT_EQ(Shown(w, okFrameSize), QStringLiteral("640*480"));
    const TJobList& jobs = w.jobModel().Jobs();
    EXPECT_EQ(jobs.Cell(0, jcAspect), "37:20");
    EXPECT_EQ(jobs.Cell(0, jcFrameSize), "640*480");
    EXPECT_EQ(jobs.Cell(0, jcOptionIndex).substr(0, 2), "11");
    EXPECT_EQ(w.playerFileName().toStdString(), jobs.Cell(0, jcInputFile));

    w.selectRow(1);
    EXPECT_EQ(w.pickers().CurrentKey(), 200);
    EXPECT_FALSE(w.optionPicker(okAspect)->isEnabled());

    // A row whose key cannot be shown leaves the pickers as they are.
    w.jobModel().SetCell(0, jcPresetKey, "9999");
    w.selectRow(0);
    EXPECT_EQ(w.pickers().CurrentKey(), 200);
    EXPECT_TRUE(messages_.empty());
}

TEST_F(GuiTest, PickersDrawIconsAndCaptions)
{
    window_ = MakeWindow();
    TMainWindow& w = *window_;
    EXPECT_EQ(w.categoryPicker()->count(), 35);
    EXPECT_EQ(w.categoryPicker()->currentCaption(), QStringLiteral("常用视频"));
    EXPECT_EQ(w.categoryPicker()->width(), 140);
    EXPECT_EQ(w.formatPicker()->width(), 456);
    EXPECT_EQ(w.categoryPicker()->maxVisibleItems(), 4);
    EXPECT_EQ(w.formatPicker()->maxVisibleItems(), 4);
    EXPECT_EQ(w.categoryPicker()->view()->sizeHintForRow(0), 50);
    EXPECT_EQ(w.formatPicker()->view()->sizeHintForRow(0), 60);
    EXPECT_EQ(w.optionPicker(okFrameSize)->maxVisibleItems(), 8);
    for (int i = 0; i < w.categoryPicker()->count(); ++i)
        EXPECT_FALSE(w.categoryPicker()->itemIcon(i).isNull()) << i;
    EXPECT_EQ(w.categoryPicker()->itemIcon(0).availableSizes().value(0), QSize(48, 48));
    EXPECT_EQ(w.formatPicker()->itemIcon(0).availableSizes().value(0), QSize(32, 32));
    // Every category's pictures differ from their neighbours'.
    EXPECT_NE(w.categoryPicker()->itemIcon(0).pixmap(48).toImage(),
              w.categoryPicker()->itemIcon(1).pixmap(48).toImage());
}

}  // namespace
}  // namespace vexa::app::test
