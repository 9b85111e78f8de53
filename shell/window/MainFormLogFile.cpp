// The window's part of keeping the log: "Сохранить журнал..." and the option that keeps the log
// in daily files.
#include "MainForm.h"

#include "ConsoleOptions.h"
#include "LogKeeper.h"
#include "LogText.h"
#include "SaveFileDialog.h"
#include "WholeFile.h"

#include <QAction>
#include <QApplication>
#include <QStandardPaths>

#include <filesystem>

namespace telv {
namespace {

// The log files go beside the settings when those are kept in a folder of their own
// (--settings-dir, tests), so that consoles side by side keep apart; else in the user's data
// folder.
QString LogFolder(const std::filesystem::path& settingsRoot) {
    if (settingsRoot != TRegistry::DefaultRootDirectory())
        return QString::fromStdString((settingsRoot / "logs").string());
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

}  // namespace

void TMainFrame::BuildLogKeeping() {
    SaveLogAction = new QAction("Сохранить журнал...", this);
    SaveLogAction->setShortcut(Qt::CTRL | Qt::SHIFT | Qt::Key_S);
    connect(SaveLogAction, &QAction::triggered, this, &TMainFrame::SaveLogWithDialog);
    auto* separator = new QAction(this);
    separator->setSeparator(true);
    ConsoleMemo->addActions({separator, SaveLogAction});

    std::filesystem::path settingsRoot;
    bool on = false;
    ReadSettings([&](TRegistry& registry) {
        settingsRoot = registry.RootDirectory();
        on = ReadOptionFlag(registry, setting::LogToFile, false);
    });
    logKeeper_ = std::make_unique<LogKeeper>(LogFolder(settingsRoot),
                                             [this](const QString& line) { ReportFailure(line.toStdString()); });
    LogToFileAction = new QAction("Писать журнал в файл", this);
    LogToFileAction->setCheckable(true);
    LogToFileAction->setChecked(on);
    logKeeper_->SetEnabled(on);
    connect(LogToFileAction, &QAction::toggled, this, [this](bool checked) {
        logKeeper_->SetEnabled(checked);
        if (checked && !logKeeper_->Failing())
            LogEvent("Журнал пишется в файл " + logKeeper_->PathOf(QDate::currentDate()).toStdString());
        settings_->Post(SettingsWriter::Kind::LogToFile,
                        [checked](TRegistry& registry) { return SaveOptionFlag(registry, setting::LogToFile, checked); });
    });
}

bool TMainFrame::SaveLog(const QString& path) {
    QString error;
    if (WriteWholeFile(path, LogText(ConsoleMemo->Lines()), &error)) return true;
    LogEvent(QString("Не удалось записать файл %1: %2").arg(path, error).toStdString());
    return false;
}

void TMainFrame::SaveLogWithDialog() {
    const QString path = AskSavePath(this, "Сохранить журнал", "Журнал.txt", "Текст (*.txt *.log);;Все файлы (*)", "txt");
    if (path.isEmpty()) return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    SaveLog(path);
    QApplication::restoreOverrideCursor();
}

}  // namespace telv
