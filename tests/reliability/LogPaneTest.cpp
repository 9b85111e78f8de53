// The event log under bursts and floods: lines come out whole and in order, the pane keeps its
// last lines only, bounded by their number and their bytes, a long line is shown cut with a
// mark but kept whole, the view follows the last line unless scrolled up, and a server's texts
// are shown as they are, never as markup.
#include "LogPane.h"
#include "MainForm.h"
#include "ScriptedServer.h"
#include "ServerSide.h"
#include "TestApplication.h"
#include "TestSupport.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>
#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace telv {
namespace {

class LogPaneTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        test::EnsureApplication<QApplication>("log_pane_tests");
    }
};

using namespace std::chrono_literals;

// The lines as the rows show them.
QStringList Shown(const LogPane& pane) {
    QStringList lines;
    for (int row = 0; row < pane.Kept().Count(); ++row) lines << pane.Kept().Shown(row);
    return lines;
}

QStringList Numbers(int first, int end) {
    QStringList lines;
    for (int i = first; i < end; ++i) lines << QString::number(i);
    return lines;
}

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
    EXPECT_TRUE(Shown(pane).isEmpty()) << "shown before the event loop ran";
    QApplication::processEvents();
    EXPECT_EQ(Shown(pane), Numbers(c.shownFirst, c.lines));
    EXPECT_EQ(pane.Lines(), Numbers(c.shownFirst, c.lines));
    EXPECT_EQ(pane.PendingLines(), 0);

    // A second burst continues below the first, and the limit holds over both.
    for (int i = c.lines; i < 2 * c.lines; ++i) pane.AppendLine(QString::number(i));
    QApplication::processEvents();
    const QStringList lines = Shown(pane);
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
    EXPECT_TRUE(Shown(pane).isEmpty());
    EXPECT_TRUE(pane.Lines().isEmpty());
    EXPECT_EQ(pane.Kept().Bytes(), 0);
    pane.AppendLine("after");
    pane.Flush();
    EXPECT_EQ(Shown(pane), QStringList{"after"});
}

TEST_F(LogPaneTest, MarkupAndEntitiesStayText) {
    LogPane pane(10);
    const QString texts[] = {"<b>bold</b>", "&amp; &lt;", "<a href=\"x\">link</a>", "<img src=x>", ""};
    for (const QString& t : texts) pane.AppendLine(t);
    pane.Flush();
    EXPECT_EQ(Shown(pane), QStringList(std::begin(texts), std::end(texts)));
}

struct ByteBoundCase {
    const char* name;
    int maxLines;
    qsizetype maxBytes;
    int lineBytes;    // of each line (digits of its number, padded with letters)
    int lines;
    int kept;         // the last lines that stay
};

class LogPaneByteBound : public LogPaneTest, public ::testing::WithParamInterface<ByteBoundCase> {};

QString Padded(int number, int bytes) { return QString::number(number).leftJustified(bytes, QLatin1Char('x')); }

// The pane holds the newest lines that fit both bounds, in one burst or over many.
TEST_P(LogPaneByteBound, KeepsTheNewestLinesWithinTheBytes) {
    const ByteBoundCase& c = GetParam();
    for (const int perFlush : {c.lines, 7, 1}) {
        LogPane pane(c.maxLines, c.maxBytes);
        for (int i = 0; i < c.lines; ++i) {
            pane.AppendLine(Padded(i, c.lineBytes));
            if ((i + 1) % perFlush == 0) pane.Flush();
        }
        pane.Flush();
        QStringList expected;
        for (int i = c.lines - c.kept; i < c.lines; ++i) expected << Padded(i, c.lineBytes);
        EXPECT_EQ(pane.Lines(), expected) << perFlush << " lines a flush";
        EXPECT_EQ(pane.Kept().Bytes(), qsizetype{c.kept} * c.lineBytes);
        EXPECT_LE(pane.Kept().Bytes(), c.maxBytes);
    }
}

const ByteBoundCase kByteBounds[] = {
    {"under_both", 100, 1000, 10, 50, 50},
    {"bytes_exactly", 100, 500, 10, 50, 50},
    {"bytes_first", 100, 1000, 100, 50, 10},
    {"lines_first", 5, 1000, 10, 50, 5},
    {"one_line_fills_the_bytes", 100, 100, 100, 3, 1},
};

INSTANTIATE_TEST_SUITE_P(Bounds, LogPaneByteBound, ::testing::ValuesIn(kByteBounds),
                         [](const ::testing::TestParamInfo<ByteBoundCase>& p) { return std::string(p.param.name); });

TEST_F(LogPaneTest, LineLongerThanTheWholeBoundIsKeptCutToIt) {
    LogPane pane(10, 101);
    pane.AppendLine("a" + QString(100, QChar(0x044F)));  // 201 bytes
    pane.Flush();
    ASSERT_EQ(pane.Lines().size(), 1);
    EXPECT_EQ(pane.Lines()[0], "a" + QString(50, QChar(0x044F)));
    EXPECT_EQ(pane.Kept().Bytes(), 101);
}

struct LongLineCase {
    const char* name;
    QString line;
    QString shown;
};

class LogPaneLongLine : public LogPaneTest, public ::testing::WithParamInterface<LongLineCase> {};

// A row shows at most 4096 bytes of its line, cut between characters, and says how many bytes
// it leaves out; the line itself is kept whole for copying and saving.
TEST_P(LogPaneLongLine, IsShownCutWithAMarkAndKeptWhole) {
    const LongLineCase& c = GetParam();
    LogPane pane(10);
    pane.AppendLine(c.line);
    pane.AppendLine("next");
    pane.Flush();
    EXPECT_EQ(Shown(pane), (QStringList{c.shown, "next"}));
    EXPECT_EQ(pane.Lines(), (QStringList{c.line, "next"}));
    pane.SelectAll();
    EXPECT_EQ(pane.SelectedText(), c.line + "\nnext");
}

const QString kYa(QChar(0x044F));  // two bytes in UTF-8

const LongLineCase kLongLines[] = {
    {"at_the_limit", QString(4096, 'a'), QString(4096, 'a')},
    {"one_byte_over", QString(4097, 'a'), QString(4096, 'a') + "… (+1 байт)"},
    {"a_server_text", QString(65535, 'q'), QString(4096, 'q') + "… (+61439 байт)"},
    // Byte 4096 is the second of a two-byte character: the character goes whole.
    {"cut_between_characters", "a" + kYa.repeated(3000), "a" + kYa.repeated(2047) + "… (+1906 байт)"},
    {"cut_after_a_whole_character", kYa.repeated(3000), kYa.repeated(2048) + "… (+1904 байт)"},
};

INSTANTIATE_TEST_SUITE_P(Lines, LogPaneLongLine, ::testing::ValuesIn(kLongLines),
                         [](const ::testing::TestParamInfo<LongLineCase>& p) { return std::string(p.param.name); });

// The view stays at the last line while it is there, and leaves the operator where he scrolled
// to otherwise, also while old lines make room for new ones.
TEST_F(LogPaneTest, FollowsTheLastLineUnlessScrolledUp) {
    LogPane pane(1000);
    pane.resize(300, 120);
    pane.show();
    for (int i = 0; i < 500; ++i) pane.AppendLine(QString::number(i));
    QApplication::processEvents();
    QScrollBar* bar = pane.verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    const auto lastRowInSight = [&] { return pane.RowInSight(pane.Kept().Count() - 1); };
    EXPECT_TRUE(lastRowInSight());

    for (int i = 500; i < 700; ++i) pane.AppendLine(QString::number(i));
    QApplication::processEvents();
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_TRUE(lastRowInSight());

    // Scrolled up: new lines, and old ones dropped for them, leave the same lines in sight.
    bar->setValue(400);
    const QString topLine = pane.Kept().Shown(pane.FirstRowInSight());
    EXPECT_EQ(pane.Kept().Shown(pane.RowAt(QPoint(2, 2))), topLine);
    for (int i = 700; i < 1200; ++i) pane.AppendLine(QString::number(i));
    QApplication::processEvents();
    EXPECT_LT(bar->value(), bar->maximum());
    EXPECT_EQ(pane.Kept().Shown(pane.FirstRowInSight()), topLine);
    EXPECT_FALSE(lastRowInSight());

    // Back at the bottom, it follows again.
    bar->setValue(bar->maximum());
    for (int i = 1200; i < 1300; ++i) pane.AppendLine(QString::number(i));
    QApplication::processEvents();
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_TRUE(lastRowInSight());
    EXPECT_EQ(Shown(pane).last(), "1299");
}

TEST_F(LogPaneTest, CopiesTheSelectedLinesWhole) {
    LogPane pane(10);
    const QString longLine(5000, 'z');
    for (const QString& line : {QString("first"), longLine, QString("third"), QString("fourth")}) pane.AppendLine(line);
    pane.Flush();
    pane.Select(2, 1);
    EXPECT_EQ(pane.SelectedText(), longLine + "\nthird");
    pane.CopySelection();
    EXPECT_EQ(QApplication::clipboard()->text(), longLine + "\nthird");
    pane.Select(-1, -1);
    EXPECT_EQ(pane.SelectedText(), "");
}

// The selection stays on its lines while older lines go, and is gone with them.
TEST_F(LogPaneTest, SelectionFollowsItsLinesAsOldOnesGo) {
    LogPane pane(5);
    for (int i = 0; i < 5; ++i) pane.AppendLine(QString::number(i));
    pane.Flush();
    pane.Select(1, 3);
    pane.AppendLine("5");
    pane.AppendLine("6");
    pane.Flush();
    EXPECT_EQ(pane.SelectedText(), "2\n3");
    for (int i = 7; i < 10; ++i) pane.AppendLine(QString::number(i));
    pane.Flush();
    EXPECT_EQ(pane.SelectedText(), "");
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
        const QStringList log = Shown(*window.ConsoleMemo);
        ASSERT_EQ(log.size(), TMainFrame::kMaxLogLines);
        EXPECT_TRUE(log.last().endsWith(QString(" - event %1 <b>&amp;</b>").arg(kMessages - 1)));
        EXPECT_TRUE(log.first().endsWith(
            QString(" - event %1 <b>&amp;</b>").arg(kMessages - TMainFrame::kMaxLogLines)));
    }
    std::filesystem::remove_all(root);
}

// A server sending 65,535-byte text messages: the window's log keeps the newest of them within
// its byte bound, each shown cut and kept whole.
TEST_F(LogPaneTest, WindowKeepsLongServerTextsWithinItsByteBound) {
    const auto root = std::filesystem::temp_directory_path() / ("telv-log-long-" + std::to_string(::getpid()));
    std::filesystem::remove_all(root);
    {
        TMainFrame window(std::make_unique<TRegistry>(root));
        test::ScriptedServer server;
        window.AddrEdit->setCurrentText("127.0.0.1");
        window.PortEdit->setText(QString::number(server.Port()));
        window.Controller().ConnectDisconectActionExecute();
        ASSERT_TRUE(test::PumpUntil([&] { return server.Accept() && window.Controller().State == WaitingHello; }));
        Bytes handshake = server::EncodeServerVersion(2, 4, 0, 31);
        const Bytes ack = server::EncodeAck();
        handshake.insert(handshake.end(), ack.begin(), ack.end());
        ASSERT_TRUE(server.Send(handshake));
        ASSERT_TRUE(test::PumpUntil([&] { return window.Controller().State == Running; }));

        // More text than the bound holds: each message is its number, then letters.
        const int messages = static_cast<int>(LogPane::kDefaultMaxBytes / 65535) + 100;
        std::atomic<bool> done = false;
        std::thread sender([&] {
            for (int i = 0; i < messages; ++i) {
                std::string text = std::to_string(i) + " ";
                text.resize(65535, 'w');
                if (!server.Send(server::EncodeTextMessage(text))) break;
            }
            static_cast<void>(server.Send(server::EncodeTextMessage("end")));
            done = true;
        });
        const LogLines& kept = window.ConsoleMemo->Kept();
        const bool ended = test::PumpUntil(
            [&] { return done && kept.Count() > 0 && kept.Line(kept.Count() - 1).endsWith(" - end"); }, 120s);
        sender.join();
        ASSERT_TRUE(ended);

        LogPane& pane = *window.ConsoleMemo;
        const QStringList lines = pane.Lines();
        EXPECT_LE(pane.Kept().Bytes(), LogPane::kDefaultMaxBytes);
        EXPECT_GT(pane.Kept().Bytes(), LogPane::kDefaultMaxBytes - 2 * 65600);
        ASSERT_GT(lines.size(), 100);
        ASSERT_LT(lines.size(), messages);
        // The newest messages, in order, whole; the rows show them cut.
        const int first = messages - (static_cast<int>(lines.size()) - 1);
        for (int k = 0; k + 1 < lines.size(); ++k) {
            const QString& line = lines[k];
            ASSERT_TRUE(line.contains(QString(" - %1 w").arg(first + k))) << k;
            ASSERT_EQ(line.size() - line.indexOf(" - ") - 3, 65535) << k;
        }
        const QString shown = pane.Kept().Shown(0);
        EXPECT_TRUE(shown.endsWith(QString("… (+%1 байт)").arg(lines[0].toUtf8().size() - 4096))) << shown.right(40).toStdString();
    }
    std::filesystem::remove_all(root);
}

}  // namespace
}  // namespace telv
