// The event log under bursts and floods: lines come out whole and in order, the pane keeps its
// last lines only, and a server's texts are shown as they are, never as markup.
#include "LogPane.h"
#include "MainForm.h"
#include "ServerSide.h"
#include "TestApplication.h"

#include <QApplication>
#include <QTextBlock>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace telv {
namespace {

class LogPaneTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::EnsureApplication<QApplication>("log_pane_tests");
    }
};

QStringList Lines(const QPlainTextEdit& pane) { return pane.toPlainText().split('\n'); }

struct BurstCase {
    const char* name;
    int maxLines;
    int lines;
    int shownFirst;  // the first line still shown
};

class LogPaneBursts : public LogPaneTest, public ::testing::WithParamInterface<BurstCase> {};

TEST_P(LogPaneBursts, KeepTheLastLinesInOrder) {
    const BurstCase& c = GetParam();
    LogPane pane(c.maxLines);
    for (int i = 0; i < c.lines; ++i) pane.AppendLine(QString::number(i));
    EXPECT_TRUE(pane.toPlainText().isEmpty()) << "shown before the event loop ran";
    QApplication::processEvents();
    QStringList expected;
    for (int i = c.shownFirst; i < c.lines; ++i) expected << QString::number(i);
    EXPECT_EQ(Lines(pane), expected);
    EXPECT_EQ(pane.PendingLines(), 0);

    // A second burst continues below the first, and the limit holds over both.
    for (int i = c.lines; i < 2 * c.lines; ++i) pane.AppendLine(QString::number(i));
    QApplication::processEvents();
    const QStringList lines = Lines(pane);
    EXPECT_EQ(lines.size(), std::min(2 * c.lines, c.maxLines));
    EXPECT_EQ(lines.last(), QString::number(2 * c.lines - 1));
    EXPECT_EQ(lines.first(), QString::number(std::max(0, 2 * c.lines - c.maxLines)));
}

const BurstCase kBursts[] = {
    {"one_line", 5, 1, 0},
    {"fewer_than_the_limit", 5, 3, 0},
    {"exactly_the_limit", 5, 5, 0},
    {"one_over_the_limit", 5, 6, 1},
    {"far_over_the_limit", 5, 1000, 995},
};

INSTANTIATE_TEST_SUITE_P(Bursts, LogPaneBursts, ::testing::ValuesIn(kBursts),
                         [](const ::testing::TestParamInfo<BurstCase>& p) { return std::string(p.param.name); });

TEST_F(LogPaneTest, ClearForgetsLinesNotYetShown) {
    LogPane pane(10);
    pane.AppendLine("shown");
    QApplication::processEvents();
    pane.AppendLine("collected");
    pane.Clear();
    QApplication::processEvents();
    EXPECT_TRUE(pane.toPlainText().isEmpty());
    pane.AppendLine("after");
    pane.Flush();
    EXPECT_EQ(pane.toPlainText(), "after");
}

TEST_F(LogPaneTest, MarkupAndEntitiesStayText) {
    LogPane pane(10);
    const QString texts[] = {"<b>bold</b>", "&amp; &lt;", "<a href=\"x\">link</a>", "<img src=x>", ""};
    for (const QString& t : texts) pane.AppendLine(t);
    pane.Flush();
    EXPECT_EQ(Lines(pane), QStringList(std::begin(texts), std::end(texts)));
}

// A flood of more server events than the pane holds, in one reception: the window shows the
// last of them, bounded, once the event loop runs.
TEST_F(LogPaneTest, WindowFloodKeepsTheLastLines) {
    const auto root = std::filesystem::temp_directory_path() / ("telv-log-flood-" + std::to_string(::getpid()));
    std::filesystem::remove_all(root);
    {
        TMainFrame window(std::make_unique<TRegistry>(root));
        window.Controller().State = Running;
        constexpr int kMessages = TMainFrame::kMaxLogLines + 20000;
        Bytes stream;
        for (int i = 0; i < kMessages; ++i) {
            const Bytes m = server::EncodeTextMessage("event " + std::to_string(i) + " <b>&amp;</b>");
            stream.insert(stream.end(), m.begin(), m.end());
        }
        window.Controller().BytesReceived(stream.data(), stream.size());
        QApplication::processEvents();
        QTextDocument& log = *window.ConsoleMemo->document();
        ASSERT_EQ(log.blockCount(), TMainFrame::kMaxLogLines);
        EXPECT_TRUE(log.lastBlock().text().endsWith(
            QString(" - event %1 <b>&amp;</b>").arg(kMessages - 1)));
        EXPECT_TRUE(log.firstBlock().text().endsWith(
            QString(" - event %1 <b>&amp;</b>").arg(kMessages - TMainFrame::kMaxLogLines)));
    }
    std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace telv
