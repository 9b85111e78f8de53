// The console's one window: the server boxes and options, the two tables on tabs, the event
// log and the status bar. It owns the connection, the tables and the server history.
#pragma once

#include "AddressBox.h"
#include "ClientSettings.h"
#include "ConnectionController.h"
#include "Help.h"
#include "LateHistory.h"
#include "ListView.h"
#include "ListViewModel.h"
#include "LogPane.h"
#include "MonitorTables.h"
#include "Registry.h"
#include "ServerHistory.h"
#include "SettingsSaveReport.h"
#include "SettingsWriter.h"
#include "Sorting.h"
#include "StatusPanels.h"

#include <QMainWindow>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QSpinBox;
class QSplitter;
class QStringListModel;
class QTabWidget;
class QTreeView;

namespace telv {

class LogKeeper;
class Reconnector;
class TrafficChart;
class SparePanel;

class TMainFrame : public QMainWindow, private ConnectionView, private StatusPanels {
    Q_OBJECT
public:
    // The settings store: the user's own unless another is given (tests).
    explicit TMainFrame(std::unique_ptr<TRegistry> registry = nullptr, QWidget* parent = nullptr);
    ~TMainFrame() override;

    // The log pane keeps the last lines only, far more than a day's events.
    static constexpr int kMaxLogLines = 100000;

    void LogEvent(const std::string& text) override;

    // For tests: the parts of the window.
    ConnectionController& Controller() { return *controller_; }
    Reconnector& Reconnect() { return *reconnect_; }
    LogKeeper& LogFile() { return *logKeeper_; }
    MonitorTables& Tables() { return *tables_; }
    TListView& ChanelRows() { return chanelRows_; }
    TListView& ClientRows() { return clientRows_; }
    AddressBox* AddrEdit = nullptr;
    QLineEdit* PortEdit = nullptr;
    QPushButton* ConnectButton = nullptr;
    QPushButton* RequestButton = nullptr;
    QCheckBox* AutoRequest = nullptr;
    QSpinBox* UpDown = nullptr;
    QCheckBox* EventCheckBox = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QTreeView* ChanelListView = nullptr;
    QTreeView* ClientListView = nullptr;
    LogPane* ConsoleMemo = nullptr;
    QLabel* StatusPanel[2] = {nullptr, nullptr};
    QAction* ConnectDisconectAction = nullptr;
    QAction* RequestAction = nullptr;
    QAction* ResetChanel = nullptr;
    QAction* CloseChanel = nullptr;
    QAction* CloseChanelInterval = nullptr;
    QAction* CloseClient = nullptr;
    // Beyond the form: filters above the views, the shown-row count, copy and export, the menu
    // bar's own actions.
    QLineEdit* ChanelFilter = nullptr;
    QLineEdit* ClientFilter = nullptr;
    QLabel* ShownPanel = nullptr;
    // The total rates of both tables, beside the two totals panels.
    SparePanel* RatesPanel = nullptr;  // the total rates, when the bar has room beside the totals
    // The "Трафик" tab, and the popup menus' actions that add the selected rows to its chart or
    // take them off.
    TrafficChart* Traffic = nullptr;
    QAction* ShowOnChartAction = nullptr;
    QAction* RemoveFromChartAction = nullptr;
    QAction* ChartTabAction = nullptr;
    QSplitter* Splitter2 = nullptr;
    QAction* CopyAction = nullptr;
    QAction* ExportAction = nullptr;
    QAction* FilterAction = nullptr;
    QAction* ChanelTabAction = nullptr;
    QAction* ClientTabAction = nullptr;
    QAction* HelpAction = nullptr;
    QAction* ExitAction = nullptr;
    QAction* ReconnectAction = nullptr;  // "Переподключаться"
    QAction* SaveLogAction = nullptr;    // "Сохранить журнал..."
    QAction* LogToFileAction = nullptr;  // the log kept in daily files
    QTimer Timer;
    QTimer ReqTimer;
    ServerList Servers;

    void ActionUpdate();
    void UpDownChangingEx(int newValue);

    // The view of the active tab (the channel view while the chart tab is shown).
    QTreeView* ActiveView() const;
    bool ChartTabShown() const;
    // Adds the selected rows of a view to the chart (up to its limit) or takes them off.
    void ShowSelectedOnChart(QTreeView* view);
    void RemoveSelectedFromChart(QTreeView* view);
    // Applies the texts of the filter boxes now (typing applies them after a short pause).
    void ApplyFilters();
    // The selected rows of a view, in view order, as tab-separated text with a caption line.
    QString SelectedRowsText(QTreeView* view) const;
    // Writes every shown row of a view to a CSV file; false with a reason when it cannot.
    bool ExportCsv(QTreeView* view, const QString& path, QString& error) const;
    // Writes the log's lines to a text file, whole or not at all; a failure is reported in the log.
    bool SaveLog(const QString& path);
    // Waits until the settings saved so far are written, and reports a failure (tests).
    void FlushSettings() { settings_->Flush(); }
    // False while the server history of a large settings file is still being read (Servers
    // then holds only the connections made since the start).
    bool HistoryRead() const { return !lateHistory_ || !lateHistory_->Pending(); }
    // Runs f once the history is read: at once, or when it arrives.
    void WhenHistoryRead(std::function<void()> f);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    QWidget* BuildToolBar();
    QTreeView* BuildListView(ListViewModel* model, QMenu* popup);
    QWidget* BuildFilteredPage(QLineEdit* filter, QTreeView* view);
    void BuildMenuBar();
    void BuildReconnect();
    void BuildLogKeeping();
    void SaveLogWithDialog();
    void ShowPopup(QTreeView* view, QMenu* popup, const QPoint& at);
    void UpdateShownPanel();
    void CopySelectedRows();
    void ExportActiveView();
    void FocusFilter();
    void RestoreLayout();
    void SaveLayout();
    ListViewModel* ModelOf(QTreeView* view) const;
    void FormCreate();
    void FormClose();
    void ReportFailure(const std::string& line);
    bool FormHelp(std::uint16_t command, const char* keyword);
    void FillAddrList();
    // Runs read with the settings store on this thread. While the history is read late, the
    // store reads the key without it, for reading only.
    void ReadSettings(const std::function<void(TRegistry&)>& read);
    void StartLateHistory();
    void AddrEditChange(const QString& text);
    void AutoRequestClick();
    void TimerTimer();
    void ChanelDisconnectCommand(int mode);
    void CloseClientExecute();
    void ColumnClick(bool chanelView, int column);

    // ConnectionView
    std::string AddressText() const override;
    std::string PortText() const override;
    void SetServerEditsEnabled(bool enabled) override;
    void SetConnectCaption(const std::string& caption) override;
    bool AutoRequestChecked() const override;
    bool EventsChecked() const override;
    void ServerConnected(const std::string& address, const std::string& portText, std::uint16_t port) override;
    void ConnectionEnded(ConnectionEnd how) override;
    void ConnectionRunning() override;
    // StatusPanels
    void SetPanelText(int panel, const std::string& text) override;

    SettingsSaveReport saveReport_;  // before the writer, whose results it takes
    std::unique_ptr<SettingsWriter> settings_;  // the settings store, written off the event loop
    bool historyLate_ = false;  // the settings file is large: its history is read after the start
    std::unique_ptr<LateHistory> lateHistory_;  // set when it is; destroyed before the writer
    std::vector<std::function<void()>> historyWaiters_;
    TListView chanelRows_;
    TListView clientRows_;
    std::unique_ptr<MonitorTables> tables_;
    std::unique_ptr<ConnectionController> controller_;
    ListViewModel* chanelModel_ = nullptr;
    ListViewModel* clientModel_ = nullptr;
    HtmlHelpFunc helpViewer_;  // shows a help topic; empty without a viewer
    ColumnSortState chanelSort_;
    ColumnSortState clientSort_;
    QMenu* chanelPopup_ = nullptr;
    QMenu* clientPopup_ = nullptr;
    QStringListModel* addrList_ = nullptr;  // the items of AddrEdit
    QTimer filterTimer_;
    Reconnector* reconnect_ = nullptr;
    std::unique_ptr<LogKeeper> logKeeper_;  // the log's daily files, written while their option is on
};

}  // namespace telv
